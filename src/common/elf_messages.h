// Texts of the ELF conversion: the family lines of the listing and the
// refusals, in both encodings.
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
// " zstdで圧縮されたセクションはこのビルドでは読めません。" (this build cannot
// read sections compressed with zstd), after the input name
inline constexpr Message kZstdNotBuilt{
    " zstd\x82\xc5\x88\xb3\x8f\x6b\x82\xb3\x82\xea\x82\xbd\x83\x5a\x83\x4e\x83\x56\x83\x87\x83\x93"
      "\x82\xcd\x82\xb1\x82\xcc\x83\x72\x83\x8b\x83\x68\x82\xc5\x82\xcd\x93\xc7\x82\xdf\x82\xdc\x82\xb9"
      "\x82\xf1\x81\x42",
    u8" zstdで圧縮されたセクションはこのビルドでは読めません。"};

}  // namespace dravont::msg
