// Compile units and their DIEs (.debug_info), versions 2 to 5, 32-bit
// format. A DIE is decoded on demand at its offset into a DieInfo holding
// the attributes the conversion uses; every other attribute is stepped over
// by its form.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "dwarf/abbrev.h"
#include "dwarf/die_info.h"
#include "dwarf/dwarf_sections.h"

namespace dravont {

// DIE offsets in .debug_types carry this bit, so that one number names a DIE
// in either section (the two sections' offsets overlap).
constexpr uint64_t kTypesSectionBit = uint64_t{1} << 63;

struct UnitHeader {
    uint64_t offset = 0;     // of the unit header in its section (.debug_types: with kTypesSectionBit)
    uint64_t end = 0;        // offset of the next unit
    uint64_t firstDie = 0;   // offset of the unit's root DIE
    uint16_t version = 0;
    uint8_t unitType = 0;    // DW_UT_*; DWARF 2 to 4 units count as DW_UT_compile
    uint8_t addressSize = 0;
    uint64_t abbrevOffset = 0;
    bool inTypes = false;      // a DWARF 4 type unit of .debug_types
    uint64_t typeSignature = 0;  // type units
    uint64_t typeOffset = 0;     // type units: of the type's DIE, from the unit header
};

// Decodes the unit header at `offset` of .debug_info. Throws MalformedInput
// for a unit outside the section, the 64-bit format, a version other than 2
// to 5, or an address size other than 1, 2, 4 or 8. With `inTypes`, decodes
// the unit at `offset` of .debug_types instead (version 4 type units).
UnitHeader decode_unit_header(const DwarfSections& sections, uint64_t offset, bool inTypes = false);

// The start of a DIE: its abbreviation, found without reading its
// attributes, so that a walk can step over DIEs it has no use for.
struct DieHead {
    uint64_t offset = 0;
    uint64_t attributes = 0;       // where the attribute values start, as `offset` is given
    const Abbrev* abbrev = nullptr;  // null for a null entry closing a list of children
};

class DwarfUnit {
public:
    DwarfUnit(const DwarfSections& sections, const UnitHeader& header, AbbrevCache& abbrevs);

    const UnitHeader& header() const { return header_; }
    const DwarfSections& sections() const { return sections_; }

    // Decodes the DIE at `offset`, which must lie in this unit's DIE area.
    DieInfo read_die(uint64_t offset) const { return read_die(read_head(offset)); }
    // The abbreviation of the DIE at `offset`; fails as read_die does for an
    // offset outside the unit or an unknown abbreviation code.
    DieHead read_head(uint64_t offset) const {
        // The usual DIE: inside the unit, a one-byte code the table knows.
        const uint64_t local = offset & ~kTypesSectionBit;
        if (contains_die(offset) && local < span_.size && span_.data[local] < 0x80) {
            DieHead head;
            head.offset = offset;
            head.attributes = offset + 1;
            const uint8_t code = span_.data[local];
            if (code == 0 || (head.abbrev = abbrevs_->find(code)) != nullptr) return head;
        }
        return read_head_slowly(offset);
    }
    DieInfo read_die(const DieHead& head) const;
    // The offset of the DIE after `head`'s, its attributes stepped over by
    // their forms; a DIE that runs past its unit or a form that cannot be
    // read fails exactly as read_die would.
    uint64_t skip_die(const DieHead& head) const;
    // `offset` with kTypesSectionBit for a DIE of .debug_types.
    // The unit's bounds carry the bit as its DIEs do, so an offset between
    // them names a DIE of the unit's own section.
    bool contains_die(uint64_t offset) const { return offset >= header_.firstDie && offset < header_.end; }

    // Takes the string, address and range-list bases from the root DIE.
    void set_bases(const DieInfo& root);
    uint64_t low_pc_base() const { return lowPcBase_; }

    std::string_view string(const StrAttr& s) const {
        // Most DIEs have no name of a kind or hold it in .debug_str.
        if (s.kind == StrAttr::None) return {};
        if (s.kind == StrAttr::Inline) return s.text;
        return section_string(s);
    }
    uint64_t address(const AddrAttr& a) const;  // Address or Index
    uint64_t address_index(uint64_t index) const;
    bool has_rnglists_base() const { return rnglistsBase_.first; }
    uint64_t rnglists_base() const { return rnglistsBase_.second; }

private:
    DieHead read_head_slowly(uint64_t offset) const;
    std::string_view section_string(const StrAttr& s) const;  // Str, LineStr, Index
    std::string_view indexed_string(uint64_t index) const;
    uint64_t fixed_bytes(const Abbrev& a) const {
        return a.fixedBytes + a.addressSized * uint64_t{header_.addressSize} + a.refAddrSized * uint64_t{refAddrSize_};
    }
    void skip_value(ByteReader& r, const AbbrevAttr& attr) const;
    // Steps through the attributes at `at` by the DIE's plan (kRead: the
    // read plan, decoding the kept ones into `die`) and moves `at` past them.
    // A value that passes the end of the data throws the DieCursor's first
    // failure, which names the offset a value-by-value read fails at; a
    // Slow step hands the remaining values to read_values.
    template <bool kRead>
    void run_plan(uint64_t& at, const Abbrev& a, DieInfo* die) const;
    // Reads (kRead, into `die`) or steps over the values of the attributes
    // of `a` from index `first` on, value by value from `at`; returns the
    // offset past them.
    template <bool kRead>
    uint64_t read_values(uint64_t at, const Abbrev& a, uint32_t first, DieInfo* die) const;
    // A Fixed step from `at` over attributes `first`... passes the end of
    // the data: throws where reading them one by one fails.
    [[noreturn]] void fail_fixed_run(uint64_t at, const Abbrev& a, uint32_t first) const;
    void read_attribute(ByteReader& r, uint16_t name, uint16_t form, int64_t implicitConst,
                        DieInfo& die, int depth) const;

    const DwarfSections& sections_;
    const ByteSpan& span_;  // .debug_info, or .debug_types for its type units
    UnitHeader header_;
    std::shared_ptr<const AbbrevTable> abbrevs_;
    std::pair<bool, uint64_t> strOffsetsBase_{false, 0};
    std::pair<bool, uint64_t> addrBase_{false, 0};
    std::pair<bool, uint64_t> rnglistsBase_{false, 0};
    uint64_t lowPcBase_ = 0;
    uint8_t refAddrSize_ = 4;  // DW_FORM_ref_addr: the address size in DWARF 2
};

}  // namespace dravont
