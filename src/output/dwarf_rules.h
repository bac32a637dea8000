// The rules of the DWARF conversion: which DIEs give symbol-file lines,
// under which names (label prefix, the 32- and 65-column cuts, the qualifier
// of a static), with which size class, and which ranges a written function
// takes its line rows from. One unit at a time, depth-first in DIE order;
// each line goes to an EntitySink, which alone knows whether the files are
// written at once or in parts merged later.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_out.h"
#include "dwarf/debug_info.h"
#include "output/convert_dwarf.h"
#include "output/dwarf_line_records.h"
#include "output/linker_kept.h"
#include "output/name_collisions.h"

namespace dravont {

struct RunState;
class DieResolver;
class TypeClasses;
class LineRecords;
class EntitySink;
class FoldedFunctions;
class UnitList;
struct Entity;

// The name being written, put together in place: a written name is cut
// after 32 characters and a qualified one after 65, so what lies past the
// buffer's end is never written (nor part of a qualifier that is).
class NameBuilder {
public:
    void clear() { size_ = 0; }
    NameBuilder& add(std::string_view s);
    void cut(size_t n) { size_ = std::min(size_, n); }
    std::string_view view() const { return std::string_view(data_, size_); }

private:
    char data_[256];
    size_t size_ = 0;
};

// The written names of the enclosing functions, and the names before any
// cut where a cut changed them; popped names keep their memory for the next.
class ScopeStack {
public:
    void push(std::string_view name, std::string_view full = {}) {
        if (count_ == names_.size()) names_.emplace_back(), fulls_.emplace_back();
        fulls_[count_].assign(full);
        names_[count_++].assign(name);
    }
    // The innermost name before any cut, and whether a cut changed it.
    std::string_view back_full() const { return fulls_[count_ - 1].empty() ? back() : fulls_[count_ - 1]; }
    bool back_was_cut() const { return !fulls_[count_ - 1].empty(); }
    void pop() { --count_; }
    void clear() { count_ = 0; }
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }
    std::string_view back() const { return names_[count_ - 1]; }

private:
    std::vector<std::string> names_;
    std::vector<std::string> fulls_;
    size_t count_ = 0;
};

class DwarfRules {
public:
    // With `listing` set, each unit's entity table is kept in its
    // PendingUnit::listing.
    // `folded` takes note of the subprograms without an address that
    // function symbols name (folded code, written after the walk).
    DwarfRules(const RunState& state, const DwarfInput& input, std::string_view prefix, DieResolver& resolver,
               TypeClasses& classes, LineRecords& lines, EntitySink& sink, const FoldedFunctions& folded,
               bool listing);

    // Walks the unit at `header` into `unit`: its fields, its written
    // functions and their ranges; its lines go to the sink. False for a unit
    // that writes nothing (no DIEs, a type unit). Refuses split DWARF.
    bool convert_unit(const UnitHeader& header, PendingUnit& unit);
    // The entity table of the unit being walked, for a listing a fault cut
    // short.
    std::string take_listing() { return entityOut_.take(); }
    // The lines of 32 characters or more met so far, written or repeats.
    NameCollisions& collisions() { return collisions_; }

private:
    void refuse_split_unit(const DwarfUnit& unit, const DieInfo& root);
    void walk_dies(const DwarfUnit& unit, const DieInfo& root);
    void on_subprogram(const DwarfUnit& unit, const DieInfo& die);
    void on_variable(const DwarfUnit& unit, const DieInfo& die);
    void push_inlined_scope(const DwarfUnit& unit, const DieInfo& die);

    bool function_ranges(const DwarfUnit& unit, const DieInfo& die, const Entity& e, uint64_t& entry);
    void written_name(NameBuilder& name, const Entity& e, bool hasAddress, uint64_t address);
    void qualify(NameBuilder& name, const Entity& e);
    std::string_view file_scope(const Entity& e);
    std::string_view uncut_name(const Entity& e, size_t own, bool fileScope);
    std::string_view file_scope_full(const Entity& e);
    bool write_symbol(const Entity& e, uint64_t value, std::string_view name, const char* sizeClass,
                      uint32_t function, uint64_t die, std::string_view full);
    // Every entity passes here; only the listing does anything with it, so
    // the test stays in line at the callers.
    void list_entity(const DwarfUnit& unit, const DieInfo& die, const Entity& e, bool hasAddress,
                     uint64_t address, std::string_view result, bool withType) {
        if (listing_) list_entity_row(unit, die, e, hasAddress, address, result, withType);
    }
    void list_entity_row(const DwarfUnit& unit, const DieInfo& die, const Entity& e, bool hasAddress,
                         uint64_t address, std::string_view result, bool withType);

    const RunState& state_;
    const DwarfInput& input_;
    const DwarfSections& sections_;
    const LinkerKept kept_;
    std::string_view prefix_;
    DieResolver& resolver_;
    TypeClasses& classes_;
    LineRecords& lines_;
    EntitySink& sink_;
    const FoldedFunctions& folded_;
    const bool listing_;
    TextOut entityOut_;  // debug mode: the current unit's entity table

    // Per unit.
    PendingUnit* unit_ = nullptr;
    std::string_view unitPrefix_;
    std::string fileName_;  // the unit's base name, cut after 32
    ScopeStack scopes_;     // written names of the enclosing functions
    NameBuilder name_;      // the name being written
    bool prefixed_ = false;       // whether written_name put the label prefix
    std::string fullName_;        // uncut_name's
    size_t fullQualifierAt_ = 0;  // where its qualifier starts
    NameCollisions collisions_;
};

// The label prefix of C names: "_" when the first function (in DIE order,
// outside assembler units) with an ELF symbol at its entry address has one
// named "_" + its name, "" when it has one named as the name itself; "_"
// without any such evidence.
std::string_view decide_label_prefix(const DwarfInput& input, const UnitList& units);

}  // namespace dravont
