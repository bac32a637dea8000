#include "dwarf/ranges.h"

#include <string>

#include "dwarf/dwarf_constants.h"

namespace dravont {

namespace {

void add(std::vector<AddressRange>& out, uint64_t low, uint64_t high, const ByteReader& r) {
    if (out.size() >= kMaxRangesPerDie) r.fail("range list longer than " + std::to_string(kMaxRangesPerDie), r.position());
    if (high > low) out.push_back({low, high});
}

// DWARF 2 to 4: pairs of addresses relative to a base, which starts as the
// unit's low_pc and changes at a pair whose first address is all ones; a
// pair of zeros ends the list.
void read_debug_ranges(const DwarfUnit& unit, uint64_t offset, std::vector<AddressRange>& out) {
    const DwarfSections& s = unit.sections();
    ByteReader r(s.ranges, s.order);
    if (!s.ranges.present || offset >= s.ranges.size) r.fail("range list offset", offset);
    r.seek(offset);
    const uint8_t size = unit.header().addressSize;
    const uint64_t allOnes = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
    uint64_t base = unit.low_pc_base();
    for (size_t entries = 0;; ++entries) {
        if (entries > 2 * kMaxRangesPerDie) r.fail("range list too long", offset);
        const uint64_t begin = r.sized(size);
        const uint64_t end = r.sized(size);
        if (begin == 0 && end == 0) return;
        if (begin == allOnes) {
            base = end;
            continue;
        }
        add(out, base + begin, base + end, r);
    }
}

// DWARF 5: typed entries. DW_AT_ranges is an offset into the section, or an
// index into the unit's table of offsets (DW_FORM_rnglistx), which are then
// relative to DW_AT_rnglists_base.
void read_rnglists(const DwarfUnit& unit, const DieInfo& die, std::vector<AddressRange>& out) {
    const DwarfSections& s = unit.sections();
    ByteReader r(s.rnglists, s.order);
    uint64_t offset = die.ranges;
    if (die.rangesKind == DieInfo::RangesIndex) {
        const uint64_t base = unit.has_rnglists_base() ? unit.rnglists_base() : 12;
        const uint64_t at = base + die.ranges * 4;
        if (die.ranges > s.rnglists.size / 4 || !s.rnglists.contains(at, 4)) r.fail("range list index", base);
        r.seek(at);
        offset = base + r.u32();
    }
    if (!s.rnglists.present || offset >= s.rnglists.size) r.fail("range list offset", offset);
    r.seek(offset);
    const uint8_t size = unit.header().addressSize;
    uint64_t base = unit.low_pc_base();
    for (size_t entries = 0;; ++entries) {
        if (entries > 2 * kMaxRangesPerDie) r.fail("range list too long", offset);
        const uint8_t kind = r.u8();
        switch (kind) {
            case DW_RLE_end_of_list: return;
            case DW_RLE_base_addressx: base = unit.address_index(r.uleb()); break;
            case DW_RLE_startx_endx: {
                const uint64_t a = unit.address_index(r.uleb());
                add(out, a, unit.address_index(r.uleb()), r);
                break;
            }
            case DW_RLE_startx_length: {
                const uint64_t a = unit.address_index(r.uleb());
                add(out, a, a + r.uleb(), r);
                break;
            }
            case DW_RLE_offset_pair: {
                const uint64_t a = r.uleb();
                add(out, base + a, base + r.uleb(), r);
                break;
            }
            case DW_RLE_base_address: base = r.sized(size); break;
            case DW_RLE_start_end: {
                const uint64_t a = r.sized(size);
                add(out, a, r.sized(size), r);
                break;
            }
            case DW_RLE_start_length: {
                const uint64_t a = r.sized(size);
                add(out, a, a + r.uleb(), r);
                break;
            }
            default: r.fail("range list entry kind " + std::to_string(kind), r.position() - 1);
        }
    }
}

}  // namespace

std::vector<AddressRange> read_ranges(const DwarfUnit& unit, const DieInfo& die) {
    std::vector<AddressRange> out;
    if (die.rangesKind == DieInfo::NoRanges) return out;
    if (unit.header().version >= 5) {
        read_rnglists(unit, die, out);
    } else {
        read_debug_ranges(unit, die.ranges, out);
    }
    return out;
}

}  // namespace dravont

