// Functions the DWARF describes without code but the symbol table has code
// for, and the files of link-time functions that name none.
//
// Identical-code folding (GCC's -fipa-icf) turns a function whose body
// equals another's into a short copy that jumps to the other: the copy keeps
// an ELF symbol with a size and line rows of its own, while its DIE stays
// abstract (no address), so the DWARF walk writes nothing for it. Such a
// function is written from the symbol table: a function symbol (STT_FUNC;
// on H8, whose compiler types nothing, a NOTYPE symbol with a size in an
// executable section) at an address no written function covers, spelled as
// the name or linkage name of a subprogram DIE without an address that is
// no declaration (with the label prefix or as it stands). It is written at
// the symbol's value under the symbol's spelling, with the DIE's size class,
// after the symbol-file lines of the walk (the symbol file is written as the
// walk goes, so a line found later cannot join them; the symbol file is a
// table, its order tells the debugger nothing); in the line file it is one
// of the DIE's unit's functions, where the DIE stands among them, with the
// one range [value, value + size) and the rows of its declaration file
// there. Of several such DIEs, the first one of the first unit whose line
// table has a row in that range is taken, else the first one.
//
// A function of a link-time unit ("<artificial>") without a declaration
// file (the image's static constructor, _GLOBAL__sub_I_...) takes the file
// of its first row: the row with a line at the lowest address of its
// ranges, the first in the line program at that address.
//
// Hooks into the conversion:
// - the rules' walk (dwarf_rules.cpp) calls FoldedFunctions::note for each
//   subprogram DIE without an address that is no declaration, with the unit
//   being walked; the candidates it finds go with the unit
//   (PendingUnit::folded);
// - where the merge of units walked apart (entity_sink.cpp) drops repeated
//   functions it calls forget_dropped, so that the candidates' places among
//   the unit's functions stay right;
// - once every unit is walked and before any line record is written, the
//   sequence (convert_dwarf.cpp) calls FoldedFunctions::finish, which
//   decides, puts the folded functions among their units' packed functions,
//   gives link-time functions their files, and writes the folded functions'
//   symbol-file lines.
// One thread and several make the same calls in unit order, so their files
// are the same.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "elf/symbol_index.h"

namespace dravont {

class DebuggerFiles;
class DwarfUnit;
class NameCollisions;
class TextOut;
class TypeClasses;
class LinkerKept;
struct DwarfSections;
struct Entity;
struct PendingUnit;

// A subprogram DIE without an address whose name a function symbol has.
struct FoldCandidate {
    uint32_t symbol = 0;         // into the function symbols
    uint64_t die = 0;            // offset of the DIE
    uint32_t functionIndex = 0;  // the unit's written functions before it
    bool external = false;
    const char* sizeClass = nullptr;
    std::string qualifier;       // a static's "@..." as written, "" for an external
    std::string fullQualifier;   // the same before any cut
    bool hasDeclFile = false;
    uint64_t declFile = 0;
    uint64_t declUnit = 0;
};

// The function symbols by name.
class FunctionSymbolIndex {
public:
    explicit FunctionSymbolIndex(const std::vector<FunctionSymbol>& symbols);
    const std::vector<FunctionSymbol>& symbols() const { return symbols_; }
    bool empty() const { return symbols_.empty(); }
    // Appends the numbers of the symbols spelled `name`.
    void find(std::string_view name, std::vector<uint32_t>& found) const;

private:
    const std::vector<FunctionSymbol>& symbols_;
    std::vector<uint64_t> slots_;  // hash << 32 | symbol + 1; 0: empty
    uint64_t mask_ = 0;
};

class FoldedFunctions {
public:
    // `symbols` gives the function symbols (empty: none), asked for once,
    // by whichever thread first meets a subprogram without an address: many
    // programs have none, and the list and its index take some 40 bytes a
    // function.
    explicit FoldedFunctions(std::function<std::vector<FunctionSymbol>()> symbols) : source_(std::move(symbols)) {}

    // A subprogram DIE without an address (not a declaration) of the unit
    // being walked: the symbols spelled as its names become candidates of
    // `unit`. `qualifier` is what a static's written name has after its
    // own name ("@..."), `fullQualifier` the same before any cut.
    void note(PendingUnit& unit, uint64_t die, const Entity& e, std::string_view prefix, TypeClasses& classes,
              const DwarfUnit& dwarfUnit, std::string_view qualifier, std::string_view fullQualifier) const;

    // Decides which candidates are written (see the top of this file),
    // amends the units' packed functions and writes the symbol-file lines.
    // `listing`, in debug mode, gets a row for each folded function and for
    // each link-time function given a file. Names written go to
    // `collisions` as well.
    void finish(std::vector<PendingUnit>& units, const DwarfSections& sections, const LinkerKept& kept,
                DebuggerFiles& files, NameCollisions& collisions, TextOut* listing) const;

private:
    const FunctionSymbolIndex& index() const;

    std::function<std::vector<FunctionSymbol>()> source_;
    mutable std::once_flag built_;
    mutable std::vector<FunctionSymbol> symbols_;
    mutable std::unique_ptr<FunctionSymbolIndex> index_;  // set once built_ has run
};

// A merge dropped the unit's functions marked in `dropped`, by their index
// before the drop: the candidates' places move down past them.
void forget_dropped(std::vector<FoldCandidate>& candidates, const std::vector<bool>& dropped);

}  // namespace dravont
