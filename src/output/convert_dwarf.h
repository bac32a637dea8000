// The conversion of DWARF debugging information into the symbol file and the
// line file, the ELF counterpart of convert_symbols: one pass over the compile
// units, each unit's DIE tree walked depth-first in order, then the unit's
// line table.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "dwarf/dwarf_sections.h"

namespace dravont {

struct RunState;
class TextOut;

struct DwarfInput {
    DwarfSections sections;
    // The names of the ELF symbols at an address; empty when the file has no
    // symbol table. Decides the label prefix ("_main" for main).
    bool hasSymbols = false;
    std::function<std::vector<std::string_view>(uint64_t)> symbolsAt;
};

// Writes both files through state.outputs and advances the counters. With
// `listing` set, prints one row per entity and per line row to it. Throws
// MalformedInput on malformed DWARF.
void convert_dwarf(RunState& state, const DwarfInput& input, TextOut* listing);

// The label prefix of C names: "_" when the first function (in DIE order,
// outside assembler units) with an ELF symbol at its entry address has one
// named "_" + its name, "" when it has one named as the name itself; "_"
// without any such evidence.
std::string_view decide_label_prefix(const DwarfInput& input);

}  // namespace dravont
