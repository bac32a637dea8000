// The conversion of DWARF debugging information into the symbol file and the
// line file, the ELF counterpart of convert_symbols: one pass over the compile
// units, each unit's DIE tree walked depth-first in order (dwarf_rules), then
// each unit's line table (dwarf_line_records); on several threads, units are
// worked on side by side and their parts put in the files in unit order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "dwarf/dwarf_sections.h"
#include "elf/symbol_index.h"

namespace dravont {

struct RunState;
class TextOut;
class WorkerPool;

// A section the executable occupies in the target's memory (SHF_ALLOC,
// non-empty): what the linker kept lies in one of these.
struct AllocatedSection {
    uint64_t low = 0;
    uint64_t high = 0;  // first address past it
    bool executable = false;  // SHF_EXECINSTR
};

struct DwarfInput {
    DwarfSections sections;
    std::vector<AllocatedSection> allocated;
    // The names of the ELF symbols at an address, file, section and
    // undefined symbols left out; empty when the file has no symbol table.
    // They decide the label prefix ("_main" for main), the spelling of
    // renamed functions and whether an entity at 0 is real.
    bool hasSymbols = false;
    std::function<std::vector<std::string_view>(uint64_t)> symbolsAt;
    // True when one of symbolsAt(address) is spelled `name`.
    std::function<bool(uint64_t, std::string_view)> hasSymbolAt;
    // The number of entries of the symbol table: about the number of
    // symbol-file lines, for sizing the table that keeps them unique.
    uint64_t symbolCount = 0;
    // The symbol table's function symbols, for the functions folded by
    // identical-code folding (folded_functions.h): asked for only where a
    // subprogram has no address; may be empty.
    std::function<std::vector<FunctionSymbol>()> functionSymbols;
    // Threads the conversion may use, none but the calling one without a
    // pool; with one, symbolsAt and hasSymbolAt may be asked from several
    // threads at once.
    WorkerPool* pool = nullptr;
};

// Writes both files through state.outputs and advances the counters. With
// `listing` set, prints one row per entity and per line row to it. Throws
// MalformedInput on malformed DWARF.
void convert_dwarf(RunState& state, const DwarfInput& input, TextOut* listing);

}  // namespace dravont
