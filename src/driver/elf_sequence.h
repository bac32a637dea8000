// The run sequence of an ELF input: the container and its family, the
// listing of its header, then the DWARF conversion into both files.
#pragma once

namespace dravont {

struct RunState;

// Decodes the ELF headers and the DWARF sections of state.image, writes both
// files through state.outputs and advances the counters; in debug mode
// prints the ELF listing first. Throws MalformedInput or RunFailure.
void convert_elf(RunState& state);

}  // namespace dravont
