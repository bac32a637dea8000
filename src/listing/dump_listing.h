// The debug listing printed before the conversion: every section header with
// its line-number table, then the whole symbol table.
#pragma once

namespace dravont {

struct RunState;

void dump_listing(RunState& state);

}  // namespace dravont
