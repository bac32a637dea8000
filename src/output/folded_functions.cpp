#include "output/folded_functions.h"

#include <algorithm>
#include <memory>

#include "common/hash.h"
#include "common/text_out.h"
#include "dwarf/debug_info.h"
#include "dwarf/line_program.h"
#include "output/convert_dwarf.h"
#include "output/debugger_files.h"
#include "output/dwarf_line_records.h"
#include "output/dwarf_resolver.h"
#include "output/linker_kept.h"
#include "output/name_collisions.h"

namespace dravont {

namespace {

constexpr size_t kNameLength = 32;     // a name is cut after 32 characters
constexpr size_t kStaticLength = 65;   // a qualified static's after 65
constexpr uint64_t kHashSeed = 0x46554E43;

std::string_view cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

// The line table of a unit, decoded when first asked for.
class UnitTables {
public:
    UnitTables(const DwarfSections& sections, const std::vector<PendingUnit>& units)
        : sections_(sections), units_(units), tables_(units.size()) {}
    // Null for a unit without a line table.
    const LineTable* table(size_t unit) {
        const PendingUnit& u = units_[unit];
        if (!u.hasStmtList) return nullptr;
        if (!tables_[unit]) {
            tables_[unit] = std::make_unique<LineTable>();
            decode_line_table(sections_, u.stmtList, u.addressSize, *tables_[unit]);
        }
        return tables_[unit].get();
    }

private:
    const DwarfSections& sections_;
    const std::vector<PendingUnit>& units_;
    std::vector<std::unique_ptr<LineTable>> tables_;
};

bool holds_row(const LineTable* table, uint64_t low, uint64_t high) {
    if (!table) return false;
    for (const LineRow& row : table->rows) {
        if (!row.endSequence && row.address >= low && row.address < high) return true;
    }
    return false;
}

// The rows of the sequences the linker kept (linker_kept.h). Calls
// keep(row index) for each but the end-of-sequence rows.
template <typename Keep>
void kept_rows(const LineTable& table, const PendingUnit& unit, const LinkerKept& linker, Keep&& keep) {
    for (const LineSequence& s : table.sequences) {
        if (!linker.sequence(s.start, unit.addressSize, unit.functionAtZero)) continue;
        for (uint64_t i = s.firstRow; i < s.lastRow && i < table.rows.size(); ++i) {
            if (!table.rows[i].endSequence) keep(static_cast<size_t>(i));
        }
    }
}

// Whether written functions cover each of the sorted `values`: a function
// entry there, or a range holding it that ends no later than the lowest
// other entry above its start. `entries` sorted and unique.
std::vector<bool> covered_values(const std::vector<PendingUnit>& units, const std::vector<uint64_t>& entries,
                                 const std::vector<uint64_t>& values) {
    std::vector<bool> covered(values.size(), false);
    for (size_t i = 0; i < values.size(); ++i) {
        covered[i] = std::binary_search(entries.begin(), entries.end(), values[i]);
    }
    for (const PendingUnit& packed : units) {
        PendingUnit unit;
        unit.offset = packed.offset;
        unit.packed = packed.packed;
        unit.functionCount = packed.functionCount;
        unpack_functions(unit);
        for (const PendingFunction& f : unit.functions) {
            for (uint32_t k = 0; k < f.rangeCount; ++k) {
                const AddressRange& r = unit.ranges[f.firstRange + k];
                auto above = std::upper_bound(entries.begin(), entries.end(), r.low);
                if (above != entries.end() && *above == f.value) ++above;
                const uint64_t high = above != entries.end() ? std::min(r.high, *above) : r.high;
                for (auto v = std::lower_bound(values.begin(), values.end(), r.low);
                     v != values.end() && *v < high; ++v) {
                    covered[static_cast<size_t>(v - values.begin())] = true;
                }
            }
        }
    }
    return covered;
}

// A function to put among a unit's functions.
struct Folded {
    size_t unit;
    const FoldCandidate* candidate;
    const FunctionSymbol* symbol;
};

// Puts the folded functions among the unit's functions, each where its DIE
// stands (before the function that followed it in the walk).
void insert_functions(PendingUnit& unit, std::vector<const Folded*>& folded) {
    std::stable_sort(folded.begin(), folded.end(), [](const Folded* a, const Folded* b) {
        return a->candidate->functionIndex < b->candidate->functionIndex;
    });
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    size_t next = 0;
    auto add = [&](PendingFunction f, const AddressRange* r) {
        f.firstRange = static_cast<uint32_t>(ranges.size());
        for (uint32_t k = 0; k < f.rangeCount; ++k) ranges.push_back(r[k]);
        functions.push_back(f);
    };
    auto add_folded_before = [&](size_t index) {
        for (; next < folded.size() && folded[next]->candidate->functionIndex <= index; ++next) {
            const FoldCandidate& c = *folded[next]->candidate;
            const FunctionSymbol& s = *folded[next]->symbol;
            PendingFunction f;
            f.value = s.value;
            f.rangeCount = s.size > 0 ? 1 : 0;
            f.hasDeclFile = c.hasDeclFile;
            f.declFile = c.declFile;
            f.declUnit = c.hasDeclFile ? c.declUnit : unit.offset;
            const AddressRange r{s.value, uint64_t{s.value} + s.size};
            add(f, &r);
            unit.functionAtZero = unit.functionAtZero || s.value == 0;
        }
    };
    for (size_t i = 0; i < unit.functions.size(); ++i) {
        add_folded_before(i);
        add(unit.functions[i], unit.ranges.data() + unit.functions[i].firstRange);
    }
    add_folded_before(SIZE_MAX);
    unit.functions.swap(functions);
    unit.ranges.swap(ranges);
}

// A function of a link-time unit without a declaration file takes the file
// of its first row. True when any did.
bool give_files(PendingUnit& unit, const LineTable& table, const LinkerKept& linker, TextOut* listing) {
    bool any = false;
    for (PendingFunction& f : unit.functions) {
        if (f.hasDeclFile || f.rangeCount == 0) continue;
        const LineRow* first = nullptr;
        kept_rows(table, unit, linker, [&](size_t i) {
            const LineRow& row = table.rows[i];
            if (row.line == 0 || row.file >= table.files.size() || table.files[row.file].name.empty()) return;
            if (first && first->address <= row.address) return;
            for (uint32_t k = 0; k < f.rangeCount; ++k) {
                const AddressRange& r = unit.ranges[f.firstRange + k];
                if (row.address >= r.low && row.address < r.high) {
                    first = &row;
                    return;
                }
            }
        });
        if (!first) continue;
        f.hasDeclFile = true;
        f.declFile = first->file;
        f.declUnit = unit.offset;
        any = true;
        if (listing) {
            listing->put("Function at ").hex(f.value, 8).put(" without a declaration file: the file of its first row, ");
            listing->put(base_name(table.files[first->file].name)).put('\n');
        }
    }
    return any;
}

// The candidates written: by symbol, those at a value no written function
// covers, one per symbol (see the top of folded_functions.h); in unit order
// and DIE order, then by value.
std::vector<Folded> choose_folded(const std::vector<PendingUnit>& units, const std::vector<FunctionSymbol>& symbols,
                                  UnitTables& tables) {
    struct Use {
        uint32_t symbol;
        size_t unit;
        const FoldCandidate* candidate;
    };
    std::vector<Use> uses;
    for (size_t u = 0; u < units.size(); ++u) {
        for (const FoldCandidate& c : units[u].folded) uses.push_back({c.symbol, u, &c});
    }
    std::vector<Folded> folded;
    if (!uses.empty()) {
        std::stable_sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) { return a.symbol < b.symbol; });
        std::vector<uint64_t> values;
        for (const Use& use : uses) values.push_back(symbols[use.symbol].value);
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        std::vector<uint64_t> entries = all_entries(units);
        std::sort(entries.begin(), entries.end());
        entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
        const std::vector<bool> covered = covered_values(units, entries, values);
        for (size_t i = 0; i < uses.size();) {
            size_t j = i;
            while (j < uses.size() && uses[j].symbol == uses[i].symbol) ++j;
            const FunctionSymbol& s = symbols[uses[i].symbol];
            const size_t at = static_cast<size_t>(std::lower_bound(values.begin(), values.end(), s.value) - values.begin());
            if (!covered[at]) {
                // Of several DIEs, one of the unit whose line table has the
                // copy's rows; the first where none has.
                const Use* chosen = &uses[i];
                bool several = false;
                for (size_t k = i + 1; k < j; ++k) several = several || uses[k].unit != uses[i].unit;
                if (several) {
                    for (size_t k = i; k < j; ++k) {
                        if (holds_row(tables.table(uses[k].unit), s.value, uint64_t{s.value} + s.size)) {
                            chosen = &uses[k];
                            break;
                        }
                    }
                }
                folded.push_back({chosen->unit, chosen->candidate, &s});
            }
            i = j;
        }
    }
    // In unit order and DIE order, then by value.
    std::sort(folded.begin(), folded.end(), [](const Folded& a, const Folded& b) {
        if (a.unit != b.unit) return a.unit < b.unit;
        if (a.candidate->die != b.candidate->die) return a.candidate->die < b.candidate->die;
        return a.symbol->value < b.symbol->value;
    });
    return folded;
}

// The folded functions' symbol-file lines, after those of the walk.
void write_folded_lines(const std::vector<Folded>& folded, std::vector<PendingUnit>& units, DebuggerFiles& files,
                        NameCollisions& collisions, TextOut* listing) {
    std::string name, full;
    uint64_t order = 0;
    for (const Folded& f : folded) {
        const FoldCandidate& c = *f.candidate;
        name.assign(cut(f.symbol->name, kNameLength)).append(c.qualifier);
        const std::string_view field = cut(name, c.external ? kNameLength : kStaticLength);
        full.assign(f.symbol->name).append(c.fullQualifier.empty() ? c.qualifier : c.fullQualifier);
        collisions.note(kAfterWalk, order++, f.symbol->value, field, full);
        if (c.external) files.external_symbol(f.symbol->value, name, c.sizeClass);
        else files.static_symbol(f.symbol->value, name, c.sizeClass);
        if (listing) {
            TextOut row;
            row.put("Written from the symbol table (folded code): ").hex(f.symbol->value, 8).put(' ');
            row.put(field).put(", size ").dec(f.symbol->size).put(", DIE ").hex(c.die, 8).put('\n');
            units[f.unit].listing.append(row.take());
        }
    }
}

// Each unit's functions amended: the folded ones put in, the link-time
// functions given files.
void amend_units(std::vector<PendingUnit>& units, const std::vector<Folded>& folded, UnitTables& tables,
                 const LinkerKept& kept, TextOut* listing) {
    size_t next = 0;
    for (size_t u = 0; u < units.size(); ++u) {
        PendingUnit& unit = units[u];
        std::vector<const Folded*> mine;
        for (; next < folded.size() && folded[next].unit == u; ++next) mine.push_back(&folded[next]);
        const bool lateFiles = !unit.ownFile && unit.hasStmtList && unit.writesLines;
        if (mine.empty() && !lateFiles) {
            unit.folded = std::vector<FoldCandidate>();
            continue;
        }
        unpack_functions(unit);
        bool changed = !mine.empty();
        if (changed) insert_functions(unit, mine);
        unit.folded = std::vector<FoldCandidate>();
        const bool withoutFile = std::any_of(unit.functions.begin(), unit.functions.end(), [](const PendingFunction& f) {
            return !f.hasDeclFile && f.rangeCount != 0;
        });
        if (lateFiles && withoutFile) {
            TextOut rows;
            const LineTable* table = tables.table(u);
            if (table && give_files(unit, *table, kept, listing ? &rows : nullptr)) changed = true;
            if (listing) unit.listing.append(rows.take());
        }
        if (changed) {
            pack_functions(unit);
        } else {
            unit.functions = std::vector<PendingFunction>();
            unit.ranges = std::vector<AddressRange>();
        }
    }
}

}  // namespace

FunctionSymbolIndex::FunctionSymbolIndex(const std::vector<FunctionSymbol>& symbols) : symbols_(symbols) {
    if (symbols.empty()) return;
    size_t size = 16;
    while (size < 2 * symbols.size()) size *= 2;
    slots_.assign(size, 0);
    mask_ = size - 1;
    for (uint32_t n = 0; n < symbols.size(); ++n) {
        const uint64_t h = hash_bytes(symbols[n].name, kHashSeed);
        for (uint64_t at = h & mask_;; at = (at + 1) & mask_) {
            if (slots_[at] == 0) {
                slots_[at] = (h >> 32) << 32 | (uint64_t{n} + 1);
                break;
            }
        }
    }
}

void FunctionSymbolIndex::find(std::string_view name, std::vector<uint32_t>& found) const {
    if (slots_.empty()) return;
    const uint64_t h = hash_bytes(name, kHashSeed);
    for (uint64_t at = h & mask_; slots_[at] != 0; at = (at + 1) & mask_) {
        if (slots_[at] >> 32 != h >> 32) continue;
        const uint32_t n = static_cast<uint32_t>(slots_[at] & 0xFFFFFFFFu) - 1;
        if (symbols_[n].name == name && std::find(found.begin(), found.end(), n) == found.end()) found.push_back(n);
    }
}

const FunctionSymbolIndex& FoldedFunctions::index() const {
    std::call_once(built_, [this] {
        symbols_ = source_();
        index_ = std::make_unique<FunctionSymbolIndex>(symbols_);
    });
    return *index_;
}

void FoldedFunctions::note(PendingUnit& unit, uint64_t die, const Entity& e, std::string_view prefix,
                           TypeClasses& classes, const DwarfUnit& dwarfUnit, std::string_view qualifier,
                           std::string_view fullQualifier) const {
    if (!source_) return;
    const FunctionSymbolIndex& byName = index();
    if (byName.empty()) return;
    std::vector<uint32_t> found;
    std::string spelled;
    for (const std::string_view name : {e.linkageName, e.name}) {
        if (name.empty()) continue;
        if (!prefix.empty()) {
            spelled.assign(prefix).append(name);
            byName.find(spelled, found);
        }
        byName.find(name, found);
    }
    if (found.empty()) return;
    const char* sizeClass = classes.size_class(dwarfUnit, e.type);
    for (const uint32_t symbol : found) {
        FoldCandidate c;
        c.symbol = symbol;
        c.die = die;
        c.functionIndex = static_cast<uint32_t>(unit.functions.size());
        c.external = e.external;
        c.sizeClass = sizeClass;
        c.qualifier.assign(qualifier);
        if (fullQualifier != qualifier) c.fullQualifier.assign(fullQualifier);
        c.hasDeclFile = e.hasDeclFile;
        c.declFile = e.declFile;
        c.declUnit = e.declUnit;
        unit.folded.push_back(std::move(c));
    }
}

void forget_dropped(std::vector<FoldCandidate>& candidates, const std::vector<bool>& dropped) {
    for (FoldCandidate& c : candidates) {
        const auto end = dropped.begin() + std::min<ptrdiff_t>(c.functionIndex, static_cast<ptrdiff_t>(dropped.size()));
        c.functionIndex -= static_cast<uint32_t>(std::count(dropped.begin(), end, true));
    }
}

void FoldedFunctions::finish(std::vector<PendingUnit>& units, const DwarfSections& sections,
                             const LinkerKept& kept, DebuggerFiles& files, NameCollisions& collisions,
                             TextOut* listing) const {
    UnitTables tables(sections, units);
    // Candidates exist only where note() built the index.
    const std::vector<Folded> folded = index_ ? choose_folded(units, index_->symbols(), tables) : std::vector<Folded>();
    write_folded_lines(folded, units, files, collisions, listing);
    amend_units(units, folded, tables, kept, listing);
}

}  // namespace dravont
