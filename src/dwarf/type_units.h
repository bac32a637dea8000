// Type units by signature: DWARF 4 units of .debug_types and DWARF 5
// DW_UT_type units of .debug_info, which DW_FORM_ref_sig8 names.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "dwarf/dwarf_sections.h"

namespace dravont {

class TypeUnitIndex {
public:
    explicit TypeUnitIndex(const DwarfSections& sections) : sections_(sections) {}

    // The DIE offset (kTypesSectionBit set for .debug_types) of the type the
    // unit with this signature describes. The index is built on first use
    // from the unit headers alone; of two units with one signature (copies
    // from several objects) the first counts. A signature no unit carries is
    // malformed input.
    uint64_t type_die(uint64_t signature);

private:
    void build();
    void add_units(bool inTypes);

    const DwarfSections& sections_;
    bool built_ = false;
    std::unordered_map<uint64_t, uint64_t> dies_;
};

}  // namespace dravont
