// Decoder of line-number entries: 8 bytes each, a 4-byte address (or, in a
// function's first entry, the function's symbol index) and a 4-byte line
// number relative to the function's first line.
#pragma once

#include <cstdint>

namespace dravont {

struct RunState;

// Replaces the LineEntry slot with entry k of the table at tableOffset. In
// debug mode prints the entry's listing row; for a function's first entry
// (l_lnno 0) the row goes on with the row of the symbol it names, which
// replaces the SymbolEntry and AuxEntry slots.
void decode_line_entry(RunState& state, uint32_t tableOffset, uint32_t k);

}  // namespace dravont
