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

// 分割されたDWARF(-gsplit-dwarf)のデバッグ情報は読めません。-gsplit-dwarfを付けずにビルドしてください。
// (The debugging information of split DWARF (-gsplit-dwarf) cannot be read.
// Build without -gsplit-dwarf.) Followed by " dwo=NAME" of the unit's .dwo file.
inline constexpr Message kSplitDwarf{
    "\x20\x95\xaa\x8a\x84\x82\xb3\x82\xea\x82\xbd\x44\x57\x41\x52\x46\x28\x2d\x67\x73\x70\x6c\x69\x74"
    "\x2d\x64\x77\x61\x72\x66\x29\x82\xcc\x83\x66\x83\x6f\x83\x62\x83\x4f\x8f\xee\x95\xf1\x82\xcd\x93"
    "\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x81\x42\x2d\x67\x73\x70\x6c\x69\x74\x2d\x64\x77\x61\x72\x66"
    "\x82\xf0\x95\x74\x82\xaf\x82\xb8\x82\xc9\x83\x72\x83\x8b\x83\x68\x82\xb5\x82\xc4\x82\xad\x82\xbe"
    "\x82\xb3\x82\xa2\x81\x42",
    u8" 分割されたDWARF(-gsplit-dwarf)のデバッグ情報は読めません。-gsplit-dwarfを付けずにビルドしてください。"};

}  // namespace dravont::msg
