// The run sequence of a COFF input: the headers and the family, the debug
// listing, then the conversion pass into both files.
#pragma once

namespace dravont {

struct RunState;

// Decodes the file and optional headers of state.image, prints the debug
// listing in debug mode, writes both files through state.outputs and
// advances the counters. Throws MalformedInput or RunFailure.
void convert_coff(RunState& state);

// Sets state.targetFamily from f_magic: 0x82FF or below is SH, above is H8.
void choose_target_family(RunState& state);

}  // namespace dravont
