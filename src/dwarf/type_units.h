// Type units by signature: DWARF 4 units of .debug_types and DWARF 5
// DW_UT_type units of .debug_info, which DW_FORM_ref_sig8 names.
#pragma once

#include <cstdint>

#include "dwarf/unit_list.h"

namespace dravont {

// The look-up of one reader (not shared between threads): the signatures
// come from the unit list, and a fault met while listing them is reported
// by the first look-up, as a walk over the headers would have met it then.
class TypeUnitIndex {
public:
    // The DIE offset (kTypesSectionBit set for .debug_types) of the type the
    // unit with this signature describes (UnitList::type_die). A signature
    // no unit carries is malformed input.
    uint64_t type_die(const UnitList& units, uint64_t signature);

private:
    bool checked_ = false;
};

}  // namespace dravont
