// Where a section's line-number table ends.
//
// s_nlnno is a 16-bit count. When a program's section has more entries, the
// GNU linker warns "line number overflow" and writes 0xFFFF, yet the whole
// table still stands at s_lnnoptr, directly followed by the next structure of
// the file. For such a section the table is taken to run up to that next
// structure, so that no function past entry 65,535 loses its line records.
#pragma once

#include <cstdint>

namespace dravont {

struct RunState;

constexpr uint16_t kSaturatedLineCount = 0xFFFF;

// End (exclusive file offset) of the line-number table of the section in the
// SectionHeader slot: s_lnnoptr + 8 * s_nlnno, or, for a saturated count, the
// start of the next structure after s_lnnoptr (non-empty raw data, relocations or line
// table of any section, the symbol table, or the end of the file), rounded
// down to whole entries.
uint64_t line_table_end(RunState& state);

// Number of entries between s_lnnoptr and line_table_end().
uint64_t line_table_entries(RunState& state);

}  // namespace dravont
