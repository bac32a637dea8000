// The unit list: one pass over each section's unit headers.
#include "dwarf/unit_list.h"

#include <algorithm>

#include "common/run_error.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

UnitList::UnitList(const DwarfSections& sections) : sections_(sections) {
    read_headers(false);
    read_headers(true);
    if (add_signatures(false)) add_signatures(true);
}

void UnitList::read_headers(bool inTypes) {
    const ByteSpan& span = inTypes ? sections_.types : sections_.info;
    std::vector<UnitHeader>& units = units_[inTypes];
    try {
        for (uint64_t offset = 0; offset < span.size;) {
            units.push_back(decode_unit_header(sections_, offset, inTypes));
            offset = units.back().end & ~kTypesSectionBit;
        }
    } catch (const MalformedInput&) {
        faults_[inTypes] = std::current_exception();
    }
}

// False when a fault ends the signatures here.
bool UnitList::add_signatures(bool inTypes) {
    for (const UnitHeader& h : units_[inTypes]) {
        if (h.unitType != DW_UT_type) continue;
        const uint64_t die = h.offset + h.typeOffset;
        if (die < h.firstDie || die >= h.end) {
            const uint64_t at = h.offset & ~kTypesSectionBit;
            try {
                ByteReader(inTypes ? sections_.types : sections_.info, sections_.order)
                    .fail("type offset of the type unit at " + hex_text(at), at);
            } catch (const MalformedInput&) {
                signatureFault_ = std::current_exception();
            }
            return false;
        }
        signatures_.emplace(h.typeSignature, die);
    }
    if (faults_[inTypes]) signatureFault_ = faults_[inTypes];
    return !faults_[inTypes];
}

const UnitHeader* UnitList::unit_at(uint64_t offset) const {
    const bool inTypes = (offset & kTypesSectionBit) != 0;
    const std::vector<UnitHeader>& units = units_[inTypes];
    // The last unit starting at or before the offset; the bit sorts alike
    // on both sides, as every header of a section carries it or none does.
    auto it = std::upper_bound(units.begin(), units.end(), offset,
                               [](uint64_t at, const UnitHeader& h) { return at < h.offset; });
    if (it == units.begin()) return nullptr;
    const UnitHeader& unit = *(it - 1);
    return offset < unit.end ? &unit : nullptr;
}

}  // namespace dravont
