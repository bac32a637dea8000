// The conversion pass: one walk over the symbol table that writes the symbol
// file and the line file.
#pragma once

namespace dravont {

struct RunState;

// Writes both files through state.outputs and advances state.symbolCount and
// state.lineCount. Throws MalformedInput or RunFailure; the files are then
// left uncommitted.
void convert_symbols(RunState& state);

}  // namespace dravont
