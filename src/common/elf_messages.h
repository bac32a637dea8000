// Texts of the ELF listing: the family lines, in both encodings.
#pragma once

#include "common/messages.h"

namespace dravont::msg {

// SH elfファイル (SH elf file)
inline constexpr Message kShElfFamily{
    "SH elf\x83\x74\x83\x40\x83\x43\x83\x8b\n\n",
    u8"SH elfファイル\n\n"};
// H8300 elfファイル (H8300 elf file)
inline constexpr Message kH8ElfFamily{
    "H8300 elf\x83\x74\x83\x40\x83\x43\x83\x8b\n\n",
    u8"H8300 elfファイル\n\n"};

}  // namespace dravont::msg
