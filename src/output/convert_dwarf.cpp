#include "output/convert_dwarf.h"

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>

#include "common/run_error.h"
#include "common/run_state.h"
#include "common/text_out.h"
#include "dwarf/debug_info.h"
#include "dwarf/dwarf_constants.h"
#include "dwarf/line_program.h"
#include "dwarf/ranges.h"
#include "listing/elf_listing.h"
#include "output/debugger_files.h"

namespace dravont {

namespace {

// Bounds that keep malformed input from costing unbounded time or memory.
constexpr size_t kMaxDepth = 4096;        // nesting of DIEs
constexpr int kMaxOriginSteps = 64;       // abstract_origin / specification chain
constexpr int kMaxTypeSteps = 4096;       // typedef / pointer / qualifier chain
constexpr size_t kNameLength = 32;        // a name is cut after 32 characters

constexpr char kVoid[] = "(VOID)";
constexpr char kByte[] = "(BYTE)";
constexpr char kWord[] = "(WORD)";
constexpr char kLong[] = "(LONG)";
constexpr char kFloat[] = "(FLOT)";
constexpr char kDouble[] = "(DBLE)";
constexpr char kLongDouble[] = "(LGDL)";

std::string_view base_name(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

// The size class of a base type, by its encoding and size.
const char* base_type_class(uint8_t encoding, bool hasSize, uint64_t size) {
    if (!hasSize || size == 0) return kVoid;
    if (encoding == DW_ATE_complex_float || encoding == DW_ATE_imaginary_float) return kVoid;
    if (encoding == DW_ATE_float) return size <= 4 ? kFloat : size == 8 ? kDouble : kLongDouble;
    return size == 1 ? kByte : size == 2 ? kWord : kLong;
}

// Tags whose DW_AT_type leads on to the type that gives the class.
bool passes_to_its_type(uint16_t tag) {
    switch (tag) {
        case DW_TAG_typedef: case DW_TAG_const_type: case DW_TAG_volatile_type:
        case DW_TAG_restrict_type: case DW_TAG_atomic_type: case DW_TAG_shared_type:
        case DW_TAG_immutable_type: case DW_TAG_pointer_type: case DW_TAG_reference_type:
        case DW_TAG_rvalue_reference_type: case DW_TAG_array_type: case DW_TAG_subroutine_type:
        case DW_TAG_ptr_to_member_type:
            return true;
        default:
            return false;
    }
}

std::string_view tag_text(uint16_t tag) {
    switch (tag) {
        case DW_TAG_typedef: return "typedef";
        case DW_TAG_const_type: return "const";
        case DW_TAG_volatile_type: return "volatile";
        case DW_TAG_restrict_type: return "restrict";
        case DW_TAG_atomic_type: return "atomic";
        case DW_TAG_pointer_type: return "pointer";
        case DW_TAG_reference_type: case DW_TAG_rvalue_reference_type: return "reference";
        case DW_TAG_array_type: return "array";
        case DW_TAG_subroutine_type: return "function";
        case DW_TAG_base_type: return "base";
        case DW_TAG_structure_type: return "struct";
        case DW_TAG_union_type: return "union";
        case DW_TAG_class_type: return "class";
        case DW_TAG_enumeration_type: return "enum";
        default: return "other";
    }
}

// What an entity takes from itself and from the DIEs its abstract_origin
// and specification chain reaches.
struct Entity {
    std::string_view name;
    std::string_view linkageName;
    bool external = false;
    uint64_t type = 0;  // 0: void
    std::string_view c_name() const { return linkageName.empty() ? name : linkageName; }
};

// Reads the DIEs references lead to, in the current unit or in any other,
// and gathers what an entity takes along its abstract_origin and
// specification chain. The conversion and the label-prefix decision share it.
class DieResolver {
public:
    explicit DieResolver(const DwarfSections& sections) : sections_(sections), abbrevs_(sections) {}

    AbbrevCache& abbrevs() { return abbrevs_; }
    DieInfo die_at(const DwarfUnit& unit, uint64_t offset) { return unit_of(unit, offset).read_die(offset); }
    Entity resolve(const DwarfUnit& unit, const DieInfo& die);

private:
    const DwarfUnit& unit_of(const DwarfUnit& current, uint64_t offset);

    const DwarfSections& sections_;
    AbbrevCache abbrevs_;
    // Units other than the current one, found when a reference leads there.
    std::vector<uint64_t> unitOffsets_;
    std::unique_ptr<DwarfUnit> otherUnit_;
};

// A function of the unit that was written: its entry and its ranges.
struct UnitFunction {
    uint64_t value;
    uint32_t firstRange;
    uint32_t rangeCount;
};

class Conversion {
public:
    Conversion(RunState& state, const DwarfInput& input, TextOut* listing, std::string_view prefix)
        : sections_(input.sections), files_(state), listing_(listing), resolver_(input.sections),
          prefix_(prefix) {}

    void run();

private:
    void convert_unit(const UnitHeader& header);
    void walk_dies(const DwarfUnit& unit, const DieInfo& root);
    void on_subprogram(const DwarfUnit& unit, const DieInfo& die);
    void on_variable(const DwarfUnit& unit, const DieInfo& die);
    void push_inlined_scope(const DwarfUnit& unit, const DieInfo& die);
    void write_lines(const DwarfUnit& unit, const DieInfo& root);

    const char* size_class(const DwarfUnit& unit, uint64_t type);
    std::string describe_type(const DwarfUnit& unit, uint64_t type);
    std::string written_name(const Entity& e, bool withScope);
    std::string qualifier() const;
    void list_entity(const DwarfUnit& unit, const DieInfo& die, const Entity& e, bool hasAddress,
                     uint64_t address, std::string_view result, bool withType);

    const DwarfSections& sections_;
    DebuggerFiles files_;
    TextOut* listing_;
    DieResolver resolver_;
    std::string_view prefix_;

    // Per unit.
    std::string_view unitPrefix_;
    std::string fileName_;                  // the unit's base name, cut after 32
    std::vector<std::string> scopes_;       // written names of the enclosing functions
    std::vector<UnitFunction> functions_;
    std::vector<AddressRange> ranges_;
    std::unordered_map<uint64_t, const char*> classes_;  // type DIE offset -> class
};

void Conversion::run() {
    if (!sections_.info.present) return;
    for (uint64_t offset = 0; offset < sections_.info.size;) {
        const UnitHeader header = decode_unit_header(sections_, offset);
        convert_unit(header);
        offset = header.end;
    }
}

void Conversion::convert_unit(const UnitHeader& header) {
    DwarfUnit unit(sections_, header, resolver_.abbrevs());
    if (header.firstDie >= header.end) return;  // a unit without DIEs
    const DieInfo root = unit.read_die(header.firstDie);
    if (root.tag != DW_TAG_compile_unit && root.tag != DW_TAG_partial_unit) return;  // type units
    unit.set_bases(root);
    const std::string_view name = unit.string(root.name);
    fileName_.assign(cut(base_name(name), kNameLength));
    unitPrefix_ = root.language == DW_LANG_Mips_Assembler ? std::string_view() : prefix_;
    functions_.clear();
    ranges_.clear();
    classes_.clear();
    if (listing_) print_unit_heading(*listing_, header.offset, header.version, name);
    walk_dies(unit, root);
    if (listing_) print_entity_end(*listing_);
    // Library sources and nameless units get no marker; writing their line
    // records under the previous unit's marker would be wrong.
    if (name.empty() || name.find("newlib/lib") != std::string_view::npos) return;
    files_.file_marker(fileName_);
    if (root.hasStmtList) write_lines(unit, root);
}

void Conversion::walk_dies(const DwarfUnit& unit, const DieInfo& root) {
    if (!root.hasChildren) return;
    // One entry per open DIE with children: whether it opened a function scope.
    std::vector<bool> opensScope;
    opensScope.push_back(false);
    scopes_.clear();
    uint64_t offset = root.next;
    while (!opensScope.empty() && offset < unit.header().end) {
        const DieInfo die = unit.read_die(offset);
        offset = die.next;
        if (die.abbrevCode == 0) {
            if (opensScope.back()) scopes_.pop_back();
            opensScope.pop_back();
            continue;
        }
        const size_t scopesBefore = scopes_.size();
        switch (die.tag) {
            case DW_TAG_subprogram: on_subprogram(unit, die); break;
            case DW_TAG_variable: on_variable(unit, die); break;
            case DW_TAG_inlined_subroutine: push_inlined_scope(unit, die); break;
            default: break;
        }
        const bool pushed = scopes_.size() > scopesBefore;
        if (die.hasChildren) {
            if (opensScope.size() >= kMaxDepth) {
                ByteReader(sections_.info, sections_.order)
                    .fail("DIE nesting deeper than " + std::to_string(kMaxDepth), die.offset);
            }
            opensScope.push_back(pushed);
        } else if (pushed) {
            scopes_.pop_back();
        }
    }
}

std::string Conversion::qualifier() const {
    if (scopes_.empty()) return fileName_;
    std::string_view scope = scopes_.back();
    if (!scope.empty() && scope.front() == '_') scope.remove_prefix(1);
    return std::string(scope);
}

std::string Conversion::written_name(const Entity& e, bool withScope) {
    std::string name(unitPrefix_);
    name.append(e.c_name());
    if (name.size() > kNameLength) name.resize(kNameLength);
    if (withScope && !e.external) name.append("@").append(qualifier());
    return name;
}

void Conversion::on_subprogram(const DwarfUnit& unit, const DieInfo& die) {
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) {
        if (listing_) list_entity(unit, die, e, false, 0, "not written: no name", false);
        return;
    }
    const std::string name = written_name(e, true);
    scopes_.push_back(name);  // its statics are qualified with it, written or not

    const uint32_t firstRange = static_cast<uint32_t>(ranges_.size());
    uint64_t value = 0;
    bool hasAddress = false;
    if (!die.declaration && (die.lowPc.kind == AddrAttr::Address || die.lowPc.kind == AddrAttr::Index)) {
        const uint64_t low = unit.address(die.lowPc);
        uint64_t high = low;
        if (die.highPc.kind == AddrAttr::Constant) high = low + die.highPc.value;
        else if (die.highPc.kind != AddrAttr::None) high = unit.address(die.highPc);
        if (high > low) ranges_.push_back({low, high});
        value = low;
        hasAddress = true;
    } else if (!die.declaration && die.rangesKind != DieInfo::NoRanges) {
        const std::vector<AddressRange> parts = read_ranges(unit, die);
        if (!parts.empty()) {
            ranges_.insert(ranges_.end(), parts.begin(), parts.end());
            value = parts.front().low;
            if (die.entryPc.kind == AddrAttr::Constant) value += die.entryPc.value;
            else if (die.entryPc.kind != AddrAttr::None) value = unit.address(die.entryPc);
            hasAddress = true;
        }
    }
    if (!hasAddress) {
        if (listing_) {
            list_entity(unit, die, e, false, 0,
                        die.declaration ? "not written: declaration" : "not written: no address", false);
        }
        return;
    }
    const char* sizeClass = size_class(unit, e.type);
    const uint32_t address = static_cast<uint32_t>(value);
    if (e.external) files_.external_symbol(address, name, sizeClass);
    else files_.static_symbol(address, name, sizeClass);
    functions_.push_back({value, firstRange, static_cast<uint32_t>(ranges_.size()) - firstRange});
    if (listing_) list_entity(unit, die, e, true, value, e.external ? "external" : "static", true);
}

void Conversion::push_inlined_scope(const DwarfUnit& unit, const DieInfo& die) {
    if (!die.hasChildren) return;
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) return;
    // An inlined copy is qualified as its function would be written, at
    // file scope.
    std::string name = written_name(e, false);
    if (!e.external) name.append("@").append(fileName_);
    scopes_.push_back(name);
}

void Conversion::on_variable(const DwarfUnit& unit, const DieInfo& die) {
    const uint8_t size = unit.header().addressSize;
    const char* why = nullptr;
    if (!die.hasLocation) why = "not written: no location";
    else if (!die.location || die.locationSize != 1u + size || die.location[0] != DW_OP_addr) {
        why = "not written: not a static address";
    }
    if (why) {
        if (listing_) list_entity(unit, die, Entity{}, false, 0, why, false);
        return;
    }
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) {
        if (listing_) list_entity(unit, die, e, false, 0, "not written: no name", false);
        return;
    }
    ByteSpan operand{die.location + 1, size, 0, sections_.info.fileSize, sections_.info.name, true};
    const uint64_t value = ByteReader(operand, sections_.order).sized(size);
    const char* sizeClass = size_class(unit, e.type);
    const std::string name = written_name(e, true);
    if (e.external) files_.external_symbol(static_cast<uint32_t>(value), name, sizeClass);
    else files_.static_symbol(static_cast<uint32_t>(value), name, sizeClass);
    if (listing_) list_entity(unit, die, e, true, value, e.external ? "external" : "static", true);
}

const DwarfUnit& DieResolver::unit_of(const DwarfUnit& current, uint64_t offset) {
    if (current.contains_die(offset)) return current;
    if (otherUnit_ && otherUnit_->contains_die(offset)) return *otherUnit_;
    if (unitOffsets_.empty()) {
        for (uint64_t at = 0; at < sections_.info.size;) {
            unitOffsets_.push_back(at);
            at = decode_unit_header(sections_, at).end;
        }
    }
    auto it = std::upper_bound(unitOffsets_.begin(), unitOffsets_.end(), offset);
    if (it == unitOffsets_.begin() || offset >= sections_.info.size) {
        ByteReader(sections_.info, sections_.order).fail("reference to DIE " + hex_text(offset), offset);
    }
    otherUnit_ = std::make_unique<DwarfUnit>(sections_, decode_unit_header(sections_, *(it - 1)), abbrevs_);
    if (otherUnit_->header().firstDie < otherUnit_->header().end) {
        otherUnit_->set_bases(otherUnit_->read_die(otherUnit_->header().firstDie));
    }
    return *otherUnit_;
}

Entity DieResolver::resolve(const DwarfUnit& unit, const DieInfo& die) {
    Entity e;
    bool hasType = false;
    DieInfo current = die;
    const DwarfUnit* at = &unit;
    for (int step = 0;; ++step) {
        if (e.name.empty()) e.name = at->string(current.name);
        if (e.linkageName.empty()) e.linkageName = at->string(current.linkageName);
        e.external = e.external || current.external;
        if (!hasType && current.type != 0) {
            e.type = current.type;
            hasType = true;
        }
        const uint64_t next = current.abstractOrigin != 0 ? current.abstractOrigin : current.specification;
        if (next == 0) return e;
        if (step >= kMaxOriginSteps) {
            ByteReader(sections_.info, sections_.order)
                .fail("abstract_origin/specification chain of DIE " + hex_text(die.offset) + " loops", die.offset);
        }
        at = &unit_of(*at, next);
        current = at->read_die(next);
    }
}

const char* Conversion::size_class(const DwarfUnit& unit, uint64_t type) {
    std::vector<uint64_t> seen;
    const char* result = kVoid;
    for (uint64_t offset = type;;) {
        if (offset == 0) break;
        auto known = classes_.find(offset);
        if (known != classes_.end()) {
            result = known->second;
            break;
        }
        if (seen.size() >= static_cast<size_t>(kMaxTypeSteps) ||
            std::find(seen.end() - std::min<size_t>(seen.size(), 8), seen.end(), offset) != seen.end()) {
            ByteReader(sections_.info, sections_.order).fail("type chain of DIE " + hex_text(type) + " loops", type);
        }
        seen.push_back(offset);
        const DieInfo t = resolver_.die_at(unit, offset);
        if (t.tag == DW_TAG_base_type) {
            result = base_type_class(t.encoding, t.hasByteSize, t.byteSize);
            break;
        }
        if (t.tag == DW_TAG_subprogram || passes_to_its_type(t.tag)) {
            offset = t.type;
            continue;
        }
        break;  // structures, unions, classes, enumerations, unspecified types
    }
    for (uint64_t offset : seen) classes_.emplace(offset, result);
    return result;
}

// The type chain as the listing shows it ("const>pointer>base(1)"). It never
// throws: an unreadable link shows as "?".
std::string Conversion::describe_type(const DwarfUnit& unit, uint64_t type) {
    std::string text;
    try {
        for (int step = 0; type != 0 && step < 12; ++step) {
            const DieInfo t = resolver_.die_at(unit, type);
            if (!text.empty()) text += '>';
            text.append(tag_text(t.tag));
            if (t.tag == DW_TAG_base_type) {
                text.append("(").append(std::to_string(t.byteSize)).append(")");
                return text;
            }
            if (!passes_to_its_type(t.tag)) return text;
            type = t.type;
        }
        if (type == 0) text.append(text.empty() ? "void" : ">void");
    } catch (const MalformedInput&) {
        text.append("?");
    }
    return text;
}

void Conversion::list_entity(const DwarfUnit& unit, const DieInfo& die, const Entity& e,
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
    const std::string chain = withType ? describe_type(unit, e.type) : std::string();
    row.typeChain = chain;
    row.sizeClass = withType ? std::string_view(classes_.count(e.type) ? classes_[e.type] : kVoid) : "";
    row.result = result;
    print_entity_row(*listing_, row);
}

// The rows of the unit's line table that can give a line record: those of
// the unit's own source file with a line number, in program order.
struct KeptRow {
    uint64_t address;
    uint32_t line;
    uint32_t row;  // index into LineTable::rows
};

enum RowResult : uint8_t {
    kEndOfSequence, kLineZero, kOtherFile, kOutside, kBaseLine, kAtEntry, kSuperseded, kWritten
};

const char* row_result_text(RowResult r) {
    switch (r) {
        case kEndOfSequence: return "end of sequence";
        case kLineZero: return "line 0";
        case kOtherFile: return "other file";
        case kOutside: return "outside every function";
        case kBaseLine: return "base record";
        case kAtEntry: return "at the entry address";
        case kSuperseded: return "a later row has the same address";
        case kWritten: return "written";
    }
    return "";
}

std::vector<bool> own_files(const LineTable& table, std::string_view unitName, const std::string& compDir) {
    std::vector<bool> own(table.files.size(), false);
    const std::string unitPath = join_path(compDir, std::string(unitName));
    bool any = false;
    for (uint32_t f = 0; f < table.files.size(); ++f) {
        if (table.files[f].name.empty()) continue;
        own[f] = line_file_path(table, f, compDir) == unitPath;
        any = any || own[f];
    }
    if (any) return own;
    const std::string_view unitBase = base_name(unitName);
    for (uint32_t f = 0; f < table.files.size(); ++f) {
        own[f] = !table.files[f].name.empty() && base_name(table.files[f].name) == unitBase;
    }
    return own;
}

void Conversion::write_lines(const DwarfUnit& unit, const DieInfo& root) {
    const LineTable table = decode_line_table(sections_, root.stmtList, unit.header().addressSize);
    const std::string compDir(unit.string(root.compDir));
    const std::vector<bool> own = own_files(table, unit.string(root.name), compDir);

    std::vector<RowResult> results(listing_ ? table.rows.size() : 0, kOutside);
    std::vector<KeptRow> kept;
    for (uint32_t i = 0; i < table.rows.size(); ++i) {
        const LineRow& row = table.rows[i];
        RowResult r = kOutside;
        if (row.endSequence) r = kEndOfSequence;
        else if (row.line == 0) r = kLineZero;
        else if (row.file >= own.size() || !own[row.file]) r = kOtherFile;
        else kept.push_back({row.address, row.line, i});
        if (listing_) results[i] = r;
    }
    // Kept rows by address (program order among equals), to find each
    // function's rows by its ranges.
    std::vector<uint32_t> byAddress(kept.size());
    for (uint32_t i = 0; i < kept.size(); ++i) byAddress[i] = i;
    std::sort(byAddress.begin(), byAddress.end(), [&](uint32_t a, uint32_t b) {
        return kept[a].address != kept[b].address ? kept[a].address < kept[b].address : a < b;
    });
    std::vector<bool> claimed(kept.size(), false);
    std::vector<uint32_t> mine;
    for (const UnitFunction& f : functions_) {
        mine.clear();
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            const AddressRange& range = ranges_[f.firstRange + k];
            auto it = std::lower_bound(byAddress.begin(), byAddress.end(), range.low,
                                       [&](uint32_t i, uint64_t a) { return kept[i].address < a; });
            for (; it != byAddress.end() && kept[*it].address < range.high; ++it) {
                // Functions never share code: rows claimed twice mean
                // overlapping ranges, which would also multiply the output.
                if (claimed[*it]) {
                    ByteReader(sections_.line, sections_.order)
                        .fail("line rows of two functions overlap at address " + hex_text(kept[*it].address),
                              table.offset);
                }
                claimed[*it] = true;
                mine.push_back(*it);
            }
        }
        if (mine.empty()) continue;
        std::sort(mine.begin(), mine.end());
        uint32_t base = mine.front();
        for (uint32_t i : mine) {
            if (kept[i].address == f.value) {
                base = i;
                break;
            }
        }
        files_.line_record(static_cast<uint32_t>(f.value), kept[base].line);
        for (size_t j = 0; j < mine.size(); ++j) {
            const KeptRow& row = kept[mine[j]];
            RowResult r = kWritten;
            if (row.address == f.value) r = mine[j] == base ? kBaseLine : kAtEntry;
            else if (j + 1 < mine.size() && kept[mine[j + 1]].address == row.address) r = kSuperseded;
            else files_.line_record(static_cast<uint32_t>(row.address), row.line);
            if (listing_) results[row.row] = r;
        }
    }
    if (!listing_) return;
    print_line_heading(*listing_, table.offset, table.version);
    for (uint32_t i = 0; i < table.rows.size(); ++i) {
        const LineRow& row = table.rows[i];
        const std::string path = line_file_path(table, row.file, compDir);
        print_line_row(*listing_, row.address, base_name(path), row.line, row.endSequence,
                       row_result_text(results[i]));
    }
    print_line_end(*listing_);
}

}  // namespace

std::string_view decide_label_prefix(const DwarfInput& input) {
    if (!input.hasSymbols || !input.sections.info.present) return "_";
    const DwarfSections& sections = input.sections;
    DieResolver resolver(sections);
    for (uint64_t offset = 0; offset < sections.info.size;) {
        const UnitHeader header = decode_unit_header(sections, offset);
        offset = header.end;
        if (header.firstDie >= header.end) continue;
        DwarfUnit unit(sections, header, resolver.abbrevs());
        const DieInfo root = unit.read_die(header.firstDie);
        if (root.language == DW_LANG_Mips_Assembler) continue;
        unit.set_bases(root);
        for (uint64_t at = root.next; at < header.end;) {
            const DieInfo die = unit.read_die(at);
            at = die.next;
            if (die.tag != DW_TAG_subprogram || die.declaration) continue;
            if (die.lowPc.kind != AddrAttr::Address && die.lowPc.kind != AddrAttr::Index) continue;
            const std::string_view name = resolver.resolve(unit, die).c_name();
            if (name.empty()) continue;
            const std::vector<std::string_view> symbols = input.symbolsAt(unit.address(die.lowPc));
            auto has = [&](const std::string& label) {
                for (std::string_view s : symbols) {
                    if (s == label || (s.size() > label.size() && s.substr(0, label.size()) == label &&
                                       s[label.size()] == '.')) {
                        return true;
                    }
                }
                return false;
            };
            if (has("_" + std::string(name))) return "_";
            if (has(std::string(name))) return "";
        }
    }
    return "_";
}

void convert_dwarf(RunState& state, const DwarfInput& input, TextOut* listing) {
    const std::string_view prefix = decide_label_prefix(input);
    if (listing) listing->put("Label prefix: \"").put(prefix).put("\"\n\n");
    Conversion(state, input, listing, prefix).run();
}

}  // namespace dravont
