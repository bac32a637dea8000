// Decoders of the three fixed-layout headers at the start of the file.
#pragma once

#include <cstdint>

namespace dravont {

struct RunState;

// File header at offset 0 into the FileHeader slot; prints its block in debug mode.
void decode_file_header(RunState& state);
// a.out optional header at offset 20 into the OptionalHeader slot.
void decode_optional_header(RunState& state);
// Section header n (0-based) at offset 48 + 40 n into the SectionHeader slot,
// replacing what the slot held; prints its block in debug mode.
void decode_section_header(RunState& state, uint16_t n);

// The position of section header n in the file.
inline uint64_t section_header_position(uint16_t n) { return 48 + uint64_t{40} * n; }

}  // namespace dravont
