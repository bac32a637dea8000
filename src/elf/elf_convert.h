// The conversion of an ELF executable with DWARF debugging information into
// the symbol file and the line file.
#pragma once

#include <cstdint>

namespace dravont {

struct RunState;
struct InputImage;

// True when the image starts with the ELF magic 0x7F 'E' 'L' 'F'.
bool is_elf_image(const InputImage& image);

// Decodes the ELF headers and the DWARF sections of state.image, writes both
// files through state.outputs and advances the counters; in debug mode
// prints the ELF listing first. Throws MalformedInput or RunFailure.
void convert_elf(RunState& state);

}  // namespace dravont
