// The conversion rules: one unit's DIEs walked depth-first, each function
// and static variable decided and named, its line handed to the sink.
#include "output/dwarf_rules.h"

#include <algorithm>
#include <cstring>

#include "common/elf_messages.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "dwarf/dwarf_constants.h"
#include "dwarf/line_program.h"
#include "dwarf/ranges.h"
#include "dwarf/unit_list.h"
#include "listing/elf_listing.h"
#include "output/dwarf_resolver.h"
#include "output/entity_sink.h"
#include "output/folded_functions.h"

namespace dravont {

namespace {

constexpr size_t kMaxDepth = 4096;  // nesting of DIEs
constexpr size_t kNameLength = 32;  // a name is cut after 32 characters
constexpr size_t kStaticLength = 65;  // a qualified static's name is cut after 65

std::string_view cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

}  // namespace

NameBuilder& NameBuilder::add(std::string_view s) {
    const size_t n = std::min(s.size(), sizeof data_ - size_);
    if (n != 0) std::memcpy(data_ + size_, s.data(), n);
    size_ += n;
    return *this;
}

DwarfRules::DwarfRules(const RunState& state, const DwarfInput& input, std::string_view prefix,
                       DieResolver& resolver, TypeClasses& classes, LineRecords& lines, EntitySink& sink,
                       const FoldedFunctions& folded, bool listing)
    : state_(state), input_(input), sections_(input.sections), kept_(input), prefix_(prefix), resolver_(resolver),
      classes_(classes), lines_(lines), sink_(sink), folded_(folded), listing_(listing) {
    entityOut_.set_utf8(state.out.utf8());
}

void DwarfRules::refuse_split_unit(const DwarfUnit& unit, const DieInfo& root) {
    const bool skeleton = unit.header().unitType == DW_UT_skeleton ||
                          unit.header().unitType == DW_UT_split_compile ||
                          root.tag == DW_TAG_skeleton_unit || root.dwoName.kind != StrAttr::None;
    if (!skeleton) return;
    std::string_view dwo;
    try {
        dwo = unit.string(root.dwoName);
    } catch (const MalformedInput&) {
    }
    if (dwo.empty()) dwo = unit.string(root.name);
    TextOut text;
    text.set_utf8(state_.out.utf8());
    text.put(state_.inputName).put(msg::kSplitDwarf).put(" dwo=").put(dwo).put("\n\n");
    throw RunFailure(text.take(), {Said(msg::kSaidSplitDwarf, {state_.inputName, std::string(dwo)}), {},
                                   Said(msg::kFixSplitDwarf), true});
}

bool DwarfRules::convert_unit(const UnitHeader& header, PendingUnit& target) {
    DwarfUnit unit(sections_, header, resolver_.abbrevs());
    if (header.firstDie >= header.end) return false;  // a unit without DIEs
    const DieInfo root = unit.read_die(header.firstDie);
    unit.set_bases(root);
    refuse_split_unit(unit, root);
    if (root.tag != DW_TAG_compile_unit && root.tag != DW_TAG_partial_unit) return false;  // type units
    const std::string_view name = unit.string(root.name);
    fileName_.assign(cut(base_name(name), kNameLength));
    unitPrefix_ = root.language == DW_LANG_Mips_Assembler ? std::string_view() : prefix_;
    classes_.clear();

    unit_ = &target;
    unit_->offset = header.offset;
    unit_->addressSize = header.addressSize;
    unit_->name.assign(name);
    unit_->compDir.assign(unit.string(root.compDir));
    // Library sources and nameless units get no marker; writing their line
    // records under the previous unit's marker would be wrong.
    unit_->writesLines = !name.empty() && name.find("newlib/lib") == std::string_view::npos;
    // A link-time optimised unit is named "<artificial>": its functions come
    // from the files of the early units its DIEs refer to.
    unit_->ownFile = name.empty() || name.front() != '<';
    if (unit_->ownFile) unit_->marker = fileName_;
    unit_->hasStmtList = root.hasStmtList;
    unit_->stmtList = root.stmtList;

    TextOut* const listing = listing_ ? &entityOut_ : nullptr;
    if (listing) print_unit_heading(*listing, header.offset, header.version, name);
    walk_dies(unit, root);
    if (listing) {
        print_entity_end(*listing);
        unit_->listing = entityOut_.take();
    }
    return true;
}

void DwarfRules::walk_dies(const DwarfUnit& unit, const DieInfo& root) {
    if (!root.hasChildren) return;
    // One entry per open DIE with children: whether it opened a function scope.
    std::vector<bool> opensScope;
    opensScope.push_back(false);
    scopes_.clear();
    uint64_t offset = root.next;
    while (!opensScope.empty() && offset < unit.header().end) {
        // Only the three tags below are decoded; every other DIE is stepped
        // over by the sizes of its forms.
        const DieHead head = unit.read_head(offset);
        if (!head.abbrev) {
            offset = unit.skip_die(head);
            if (opensScope.back()) scopes_.pop();
            opensScope.pop_back();
            continue;
        }
        const size_t scopesBefore = scopes_.size();
        switch (head.abbrev->tag) {
            case DW_TAG_subprogram:
            case DW_TAG_variable:
            case DW_TAG_inlined_subroutine: {
                const DieInfo die = unit.read_die(head);
                offset = die.next;
                if (die.tag == DW_TAG_subprogram) on_subprogram(unit, die);
                else if (die.tag == DW_TAG_variable) on_variable(unit, die);
                else push_inlined_scope(unit, die);
                break;
            }
            default: offset = unit.skip_die(head); break;
        }
        const bool pushed = scopes_.size() > scopesBefore;
        if (head.abbrev->hasChildren) {
            if (opensScope.size() >= kMaxDepth) {
                ByteReader(sections_.info, sections_.order)
                    .fail("DIE nesting deeper than " + std::to_string(kMaxDepth), head.offset);
            }
            opensScope.push_back(pushed);
        } else if (pushed) {
            scopes_.pop();
        }
    }
}

// The function's ranges that the linker kept, appended to the unit's; false
// when none is left. `entry` is then its entry address.
bool DwarfRules::function_ranges(const DwarfUnit& unit, const DieInfo& die, const Entity& e, uint64_t& entry) {
    const uint8_t size = unit.header().addressSize;
    std::vector<AddressRange>& ranges = unit_->ranges;
    if (die.lowPc.kind == AddrAttr::Address || die.lowPc.kind == AddrAttr::Index) {
        const uint64_t low = unit.address(die.lowPc);
        if (!kept_.entity(low, true, size, e)) return false;
        uint64_t high = low;
        if (die.highPc.kind == AddrAttr::Constant) high = low + die.highPc.value;
        else if (die.highPc.kind != AddrAttr::None) high = unit.address(die.highPc);
        if (high > low) ranges.push_back({low, high});
        entry = low;
        return true;
    }
    const size_t first = ranges.size();
    for (const AddressRange& r : read_ranges(unit, die)) {
        if (kept_.entity(r.low, true, size, e)) ranges.push_back(r);
    }
    if (ranges.size() == first) return false;
    entry = ranges[first].low;
    uint64_t chosen = entry;
    if (die.entryPc.kind == AddrAttr::Constant) chosen = entry + die.entryPc.value;
    else if (die.entryPc.kind != AddrAttr::None) chosen = unit.address(die.entryPc);
    if (kept_.entity(chosen, true, size, e)) entry = chosen;
    return true;
}

// The C name with the label prefix, cut after 32. A name the symbol table
// spells without the prefix at the entity's address (a C function renamed by
// __asm__) is written as the symbol table spells it.
void DwarfRules::written_name(NameBuilder& name, const Entity& e, bool hasAddress, uint64_t address) {
    const std::string_view cName = e.c_name();
    bool prefixed = !unitPrefix_.empty();
    if (prefixed && hasAddress && input_.hasSymbols && input_.hasSymbolAt(address, cName)) {
        prefixed = input_.hasSymbolAt(address, std::string(unitPrefix_).append(cName));
    }
    name.clear();
    if (prefixed) name.add(unitPrefix_);
    name.add(cName).cut(kNameLength);
    prefixed_ = prefixed;
}

// The whole base name of the file file_scope gives the cut one of.
std::string_view DwarfRules::file_scope_full(const Entity& e) {
    if (unit_->ownFile || !e.hasDeclFile) return base_name(unit_->name);
    const std::vector<std::string>& paths = lines_.file_paths(e.declUnit);
    if (e.declFile >= paths.size() || paths[e.declFile].empty()) return base_name(unit_->name);
    return base_name(paths[e.declFile]);
}

// The entity's name before any cut, where a cut changed it (else empty):
// its own name whole, and a static's qualifier from the enclosing
// function's name before its cut, or the file's whole base name (always
// that with `fileScope`). `own` is the size of the name written_name made.
std::string_view DwarfRules::uncut_name(const Entity& e, size_t own, bool fileScope) {
    const std::string_view cName = e.c_name();
    const bool ownCut = (prefixed_ ? unitPrefix_.size() : 0) + cName.size() > own;
    std::string_view scope;
    bool scopeCut = false;
    if (!e.external) {
        if (fileScope || scopes_.empty()) {
            scope = file_scope_full(e);
            scopeCut = scope.size() > kNameLength;
        } else {
            scope = scopes_.back_full();
            scopeCut = scopes_.back_was_cut();
            if (!scope.empty() && scope.front() == '_') scope.remove_prefix(1);
        }
    }
    if (!ownCut && !scopeCut) return {};
    fullName_.clear();
    if (prefixed_) fullName_.append(unitPrefix_);
    fullName_.append(cName);
    fullQualifierAt_ = fullName_.size();
    if (!e.external) fullName_.append("@").append(scope);
    return fullName_;
}

// The qualifier of a file-scope static: the unit's base name, or in a
// link-time optimised unit the base name of the entity's own file.
std::string_view DwarfRules::file_scope(const Entity& e) {
    if (unit_->ownFile || !e.hasDeclFile) return fileName_;
    const std::vector<std::string>& paths = lines_.file_paths(e.declUnit);
    if (e.declFile >= paths.size() || paths[e.declFile].empty()) return fileName_;
    return cut(base_name(paths[e.declFile]), kNameLength);
}

void DwarfRules::qualify(NameBuilder& name, const Entity& e) {
    if (e.external) return;
    name.add("@");
    if (scopes_.empty()) {
        name.add(file_scope(e));
        return;
    }
    std::string_view scope = scopes_.back();
    if (!scope.empty() && scope.front() == '_') scope.remove_prefix(1);
    name.add(scope);
}

// Writes the entity's symbol-file line (the entry line of the unit's
// function `function`, or kNoFunction) unless the same line was written
// before; false then. A line the cut may have made alike another's, written
// or not, is noted with the name `full` it was cut from.
bool DwarfRules::write_symbol(const Entity& e, uint64_t value, std::string_view name, const char* sizeClass,
                              uint32_t function, uint64_t die, std::string_view full) {
    SymbolLine line;
    line.value = static_cast<uint32_t>(value);
    line.name = cut(name, e.external ? kNameLength : kStaticLength);
    if (NameCollisions::may_collide(line.name)) collisions_.note(unit_->offset, die, line.value, line.name, full);
    line.sizeClass = sizeClass;
    line.external = e.external;
    line.function = function;
    return sink_.symbol(line);
}

void DwarfRules::on_subprogram(const DwarfUnit& unit, const DieInfo& die) {
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) {
        list_entity(unit, die, e, false, 0, "not written: no name", false);
        return;
    }
    const size_t firstRange = unit_->ranges.size();
    uint64_t value = 0;
    const bool hasAddress = !die.declaration && (die.lowPc.kind == AddrAttr::Address ||
                                                 die.lowPc.kind == AddrAttr::Index ||
                                                 die.rangesKind != DieInfo::NoRanges);
    const bool kept = hasAddress && function_ranges(unit, die, e, value);
    NameBuilder& name = name_;
    written_name(name, e, kept, value);
    const size_t own = name.view().size();
    qualify(name, e);
    const std::string_view full = uncut_name(e, own, false);
    scopes_.push(name.view(), full);  // its statics are qualified with it, written or not
    if (!kept) {
        unit_->ranges.resize(firstRange);
        if (!hasAddress && !die.declaration) {
            // Perhaps code folded into another function's: written after the
            // walk where a function symbol has its name.
            const std::string_view qualifier = name.view().substr(own);
            folded_.note(*unit_, die.offset, e, unitPrefix_, classes_, unit, qualifier,
                         full.empty() ? qualifier : full.substr(fullQualifierAt_));
        }
        const char* why = die.declaration ? "not written: declaration"
                          : hasAddress    ? "not written: discarded by the linker"
                                          : "not written: no address";
        list_entity(unit, die, e, false, 0, why, false);
        return;
    }
    const char* sizeClass = classes_.size_class(unit, e.type);
    const uint32_t index = static_cast<uint32_t>(unit_->functions.size());
    if (!write_symbol(e, value, name.view(), sizeClass, index, die.offset, full)) {
        unit_->ranges.resize(firstRange);
        list_entity(unit, die, e, true, value, "not written: repeats a written symbol", true);
        return;
    }
    PendingFunction f;
    f.value = value;
    f.firstRange = static_cast<uint32_t>(firstRange);
    f.rangeCount = static_cast<uint32_t>(unit_->ranges.size() - firstRange);
    f.hasDeclFile = e.hasDeclFile;
    f.declFile = e.declFile;
    f.declUnit = e.declUnit;
    unit_->functions.push_back(f);
    unit_->functionAtZero = unit_->functionAtZero || value == 0;
    list_entity(unit, die, e, true, value, e.external ? "external" : "static", true);
}

void DwarfRules::push_inlined_scope(const DwarfUnit& unit, const DieInfo& die) {
    if (!die.hasChildren) return;
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) return;
    // An inlined copy is qualified as its function would be written, at
    // file scope.
    NameBuilder& name = name_;
    written_name(name, e, false, 0);
    const size_t own = name.view().size();
    if (!e.external) name.add("@").add(file_scope(e));
    scopes_.push(name.view(), uncut_name(e, own, true));
}

void DwarfRules::on_variable(const DwarfUnit& unit, const DieInfo& die) {
    const uint8_t size = unit.header().addressSize;
    const char* why = nullptr;
    if (!die.hasLocation) why = "not written: no location";
    else if (!die.location || die.locationSize != 1u + size || die.location[0] != DW_OP_addr) {
        why = "not written: not a static address";
    }
    if (why) {
        list_entity(unit, die, Entity{}, false, 0, why, false);
        return;
    }
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) {
        list_entity(unit, die, e, false, 0, "not written: no name", false);
        return;
    }
    ByteSpan operand{die.location + 1, size, 0, sections_.info.fileSize, sections_.info.name, true};
    const uint64_t value = ByteReader(operand, sections_.order).sized(size);
    if (!kept_.entity(value, false, size, e)) {
        list_entity(unit, die, e, true, value, "not written: discarded by the linker", false);
        return;
    }
    const char* sizeClass = classes_.size_class(unit, e.type);
    NameBuilder& name = name_;
    written_name(name, e, true, value);
    const size_t own = name.view().size();
    qualify(name, e);
    const bool first = write_symbol(e, value, name.view(), sizeClass, kNoFunction, die.offset, uncut_name(e, own, false));
    list_entity(unit, die, e, true, value,
                !first ? "not written: repeats a written symbol" : e.external ? "external" : "static", true);
}

void DwarfRules::list_entity_row(const DwarfUnit& unit, const DieInfo& die, const Entity& e,
                                 bool hasAddress, uint64_t address, std::string_view result, bool withType) {
    EntityRow row;
    row.offset = die.offset;
    row.tag = die.tag == DW_TAG_subprogram ? "subprogram" : "variable";
    std::string name;
    try {
        name = std::string(e.c_name().empty() ? unit.string(die.name) : e.c_name());
    } catch (const MalformedInput&) {
        name = "?";
    }
    row.name = name;
    row.hasAddress = hasAddress;
    row.address = address;
    const std::string chain = withType ? classes_.describe(unit, e.type) : std::string();
    row.typeChain = chain;
    row.sizeClass = withType ? std::string_view(classes_.known(e.type)) : "";
    row.result = result;
    print_entity_row(entityOut_, row);
}

std::string_view decide_label_prefix(const DwarfInput& input, const UnitList& units) {
    if (!input.hasSymbols || !input.sections.info.present) return "_";
    const DwarfSections& sections = input.sections;
    DieResolver resolver(sections, units);
    for (const UnitHeader& header : units.units()) {
        if (header.firstDie >= header.end) continue;
        DwarfUnit unit(sections, header, resolver.abbrevs());
        const DieInfo root = unit.read_die(header.firstDie);
        if (root.language == DW_LANG_Mips_Assembler) continue;
        unit.set_bases(root);
        for (uint64_t at = root.next; at < header.end;) {
            const DieHead head = unit.read_head(at);
            if (!head.abbrev || head.abbrev->tag != DW_TAG_subprogram) {
                at = unit.skip_die(head);
                continue;
            }
            const DieInfo die = unit.read_die(head);
            at = die.next;
            if (die.declaration) continue;
            if (die.lowPc.kind != AddrAttr::Address && die.lowPc.kind != AddrAttr::Index) continue;
            const std::string_view name = resolver.resolve(unit, die).c_name();
            if (name.empty()) continue;
            const std::vector<std::string_view> symbols = input.symbolsAt(unit.address(die.lowPc));
            // "name.part.0", "name.cold" and H8's "name___1" are the
            // compiler's copies of the same function.
            auto has = [&](const std::string& label) {
                for (std::string_view s : symbols) {
                    if (s.size() < label.size() || s.substr(0, label.size()) != label) continue;
                    const std::string_view rest = s.substr(label.size());
                    if (rest.empty() || rest.front() == '.' || rest.substr(0, 3) == "___") return true;
                }
                return false;
            };
            if (has("_" + std::string(name))) return "_";
            if (has(std::string(name))) return "";
        }
    }
    units.rethrow_fault();  // no evidence before a header that cannot be read
    return "_";
}

}  // namespace dravont
