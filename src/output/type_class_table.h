// Size class and short type code of each COFF basic type, per target family.
// H8 and SH differ only in int and unsigned int: a word on H8, a long on SH.
#pragma once

#include <cstdint>

#include "coff/coff_records.h"

namespace dravont {

struct TypeClass {
    const char* sizeClass;  // six-character label of the symbol file, "(WORD)"
    const char* typeCode;   // short code of the debug symbol row, "(i)"
};

// Indexed by [family][basic type]; entries 17 to 19 are unused and empty.
extern const TypeClass TypeClassTable[2][20];

// The entry for a symbol's n_type: only the basic type (n_type & 0xF) counts,
// so a pointer, function or array takes the class of its base type.
inline const TypeClass& type_class(TargetFamily family, uint16_t n_type) {
    return TypeClassTable[static_cast<uint16_t>(family) & 1][n_type & N_BTMASK];
}

}  // namespace dravont
