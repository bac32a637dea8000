// ELF images with DWARF made by the test writer: a small program in any DWARF
// version, byte order and family, and malformed images built from it. Shared
// by the tests and the fuzzer's seed writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/elf_builder.h"

namespace elf_test {

// One compile unit, "src/prog.c", holding: an external function with a
// function-scope static; a static function with statics at two depths of
// lexical blocks; a fully inlined function with a static; externals of many
// types (array, pointer to pointer, typedef'd structure, const double,
// variables defined through DW_AT_specification, one with a 36-character
// name); a function in two parts described by a range list with
// DW_AT_entry_pc; and variables that are not static addresses. Its line
// table has rows of a header file, rows with line 0, several rows at one
// address and two sequences. Its debug sections are stored as `packing` says.
std::vector<uint8_t> sample_program(bool bigEndian, uint16_t machine, uint8_t version,
                                    Packing packing = Packing::Plain);
// The same, not yet built: .text is section 1, the debug sections follow.
ElfBuilder sample_builder(bool bigEndian, uint16_t machine, uint8_t version, Packing packing = Packing::Plain);

// An H8 image of one unit "prog.c" (an int base type labelled "int", then
// `children`) with the sample's line table, .text at 0x1000 (0x108 bytes)
// and .data at 0x2000 (0x100 bytes).
std::vector<uint8_t> unit_with(std::vector<Die> children, uint8_t version = 4);

struct BrokenImage {
    std::string name;
    std::vector<uint8_t> image;
    std::string expected;  // a piece of the message the run must print
};

// Images the conversion must refuse: ELF header fields of a file that is not
// ours, offsets past the end, reference and type loops, an unknown form, an
// endless DW_FORM_indirect, a DIE tree deeper than the bound, a type
// signature no type unit holds, compressed sections that do not inflate to
// what their headers declare, and more.
std::vector<BrokenImage> broken_images();

}  // namespace elf_test
