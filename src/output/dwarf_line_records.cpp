#include "output/dwarf_line_records.h"

#include <algorithm>
#include <unordered_map>

#include "common/reserve.h"
#include "common/text_out.h"
#include "dwarf/line_program.h"
#include "listing/elf_listing.h"
#include "output/convert_dwarf.h"
#include "output/debugger_files.h"
#include "output/dwarf_resolver.h"
#include "output/linker_kept.h"

namespace dravont {

namespace {

constexpr size_t kNameLength = 32;  // a marker's name is cut after 32 characters
constexpr uint32_t kNoGroup = UINT32_MAX;

// Rows that can give a line record: with a line number, in a sequence that
// was kept, of a file some function may take its records from.
struct KeptRow {
    uint64_t address;
    uint32_t line;
    uint32_t row;    // index into LineTable::rows
    uint32_t group;  // the row's file: 0 the unit's own, else another
};

enum RowResult : uint8_t {
    kEndOfSequence, kLineZero, kOtherFile, kOutside, kBaseLine, kAtEntry, kSuperseded, kWritten,
    kDiscarded, kClaimedEarlier
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
        case kDiscarded: return "discarded by the linker";
        case kClaimedEarlier: return "claimed by an earlier function";
    }
    return "";
}

// The files of the line table that are the unit's own source file: those
// whose path is the unit's, else those of the same base name.
std::vector<bool> own_files(const std::vector<std::string>& paths, std::string_view unitName,
                            const std::string& compDir) {
    std::vector<bool> own(paths.size(), false);
    const std::string unitPath = join_path(compDir, std::string(unitName));
    bool any = false;
    for (size_t f = 0; f < paths.size(); ++f) {
        own[f] = !paths[f].empty() && paths[f] == unitPath;
        any = any || own[f];
    }
    if (any) return own;
    const std::string_view unitBase = base_name(unitName);
    for (size_t f = 0; f < paths.size(); ++f) own[f] = !paths[f].empty() && base_name(paths[f]) == unitBase;
    return own;
}

std::vector<std::string> table_paths(const LineTable& table, const std::string& compDir) {
    std::vector<std::string> paths(table.files.size());
    for (uint32_t f = 0; f < table.files.size(); ++f) {
        if (!table.files[f].name.empty()) paths[f] = line_file_path(table, f, compDir);
    }
    return paths;
}

// Groups of rows and functions by file: 0 is the unit's own file, the
// others are numbered by path as they are met.
class FileGroups {
public:
    uint32_t of_path(const std::string& path) {
        if (path.empty()) return kNoGroup;
        auto it = ids_.find(path);
        if (it != ids_.end()) return it->second;
        const uint32_t id = static_cast<uint32_t>(paths_.size());
        ids_.emplace(path, id);
        paths_.push_back(path);
        return id;
    }
    void set_own(const std::string& path) { ids_.emplace(path, 0); }
    const std::string& path(uint32_t group) const { return paths_[group]; }

private:
    std::unordered_map<std::string, uint32_t> ids_;
    std::vector<std::string> paths_{std::string()};  // group 0 is named by the unit's marker
};

// std::lower_bound, searched from `hint` outwards in steps that double:
// cheap when the answer lies near the hint. Ranges come in address order,
// rising or (as GCC lists functions) falling, so the previous answer is a
// good hint for the next.
template <typename It, typename T, typename Less>
It lower_bound_near(It first, It last, It hint, const T& value, Less less) {
    size_t step = 1;
    if (hint == last || !less(*hint, value)) {  // at or before the hint
        It high = hint;
        while (static_cast<size_t>(high - first) >= step && !less(*(high - step), value)) {
            high -= step;
            step *= 2;
        }
        const It low = static_cast<size_t>(high - first) >= step ? high - step + 1 : first;
        return std::lower_bound(low, high, value, less);
    }
    It low = hint;  // past the hint
    while (static_cast<size_t>(last - low) > step && less(*(low + step), value)) {
        low += step;
        step *= 2;
    }
    const It high = static_cast<size_t>(last - low) > step ? low + step : last;
    return std::lower_bound(low + 1, high, value, less);
}

// The kept rows by address, program order among equal addresses: what a
// stable sort by address gives. The line program emits each sequence's rows
// in rising address order, so only the sequences are put in order; a
// sequence that goes back, or sequences that overlap, have the rows sorted.
void order_by_address(const std::vector<KeptRow>& kept, const std::vector<uint32_t>& starts,
                      std::vector<uint32_t>& order) {
    struct Run {
        uint32_t begin, end;
    };
    std::vector<Run> runs;
    bool ordered = true;
    for (size_t k = 0; k < starts.size(); ++k) {
        const uint32_t end = k + 1 < starts.size() ? starts[k + 1] : static_cast<uint32_t>(kept.size());
        if (starts[k] == end) continue;
        runs.push_back({starts[k], end});
        for (uint32_t i = starts[k] + 1; i < end && ordered; ++i) ordered = kept[i - 1].address <= kept[i].address;
    }
    if (ordered) {
        std::stable_sort(runs.begin(), runs.end(),
                         [&](const Run& a, const Run& b) { return kept[a.begin].address < kept[b.begin].address; });
        for (size_t k = 1; k < runs.size() && ordered; ++k) {
            const uint64_t last = kept[runs[k - 1].end - 1].address, first = kept[runs[k].begin].address;
            ordered = last < first || (last == first && runs[k - 1].end <= runs[k].begin);
        }
    }
    order.resize(kept.size());
    if (ordered) {
        size_t at = 0;
        for (const Run& run : runs) {
            for (uint32_t i = run.begin; i < run.end; ++i) order[at++] = i;
        }
        return;
    }
    for (uint32_t i = 0; i < kept.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return kept[a].address < kept[b].address; });
}

// Takes the rows of a line table as the program makes them, keeping none:
// `begin` when the files are known, `take` for each row in order.
template <typename Begin, typename Take>
class KeptRowsSink final : public LineRowSink {
public:
    KeptRowsSink(Begin& begin, Take& take) : begin_(begin), take_(take) {}
    void begin(const LineTable& table, size_t rowsAtMost) override {
        files_ = table.files.size();
        begin_(table, rowsAtMost);
    }
    void rows(const LineRow* rows, size_t count) override {
        for (size_t k = 0; k < count; ++k) take_(rows[k], next_++);
    }
    // Whether the program defined files of its own (DW_LNE_define_file).
    bool files_changed(const LineTable& table) const { return table.files.size() != files_; }

private:
    Begin& begin_;
    Take& take_;
    size_t files_ = 0;
    uint32_t next_ = 0;
};

}  // namespace

// What the phases of write_unit hand on, kept with their memory from unit
// to unit.
struct LineRecords::Buffers {
    LineTable table;
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    // group_files: each file's path and group, by file number.
    std::vector<std::string> paths;
    std::vector<uint32_t> fileGroup;
    FileGroups groups;
    // keep: the rows that can give a record, and where each kept sequence's
    // rows start among them; in debug mode each row's result.
    std::vector<KeptRow> kept;
    std::vector<uint32_t> starts;
    std::vector<RowResult> results;
    // function_files, claim: each function's group and its claimed rows.
    std::vector<uint32_t> functionGroup;
    std::vector<uint32_t> byAddress;
    std::vector<uint8_t> claimed;  // bytes: faster to test and set than bits
    std::vector<uint32_t> claims;
    std::vector<std::pair<uint32_t, uint32_t>> claimSpan;
};

LineRecords::LineRecords(DieResolver& resolver, DebuggerFiles& files, TextOut* listing, const LinkerKept& kept)
    : resolver_(resolver), files_(files), listing_(listing), kept_(kept) {}

LineRecords::~LineRecords() = default;

void LineRecords::set_entries(std::vector<uint64_t> entries) {
    // Units come in address order, and GCC lists a unit's functions in
    // falling order: turning each falling run around usually sorts them.
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        while (j < entries.size() && entries[j] <= entries[j - 1]) ++j;
        std::reverse(entries.begin() + static_cast<ptrdiff_t>(i), entries.begin() + static_cast<ptrdiff_t>(j));
        i = j;
    }
    if (!std::is_sorted(entries.begin(), entries.end())) std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    entries_ = std::make_shared<const std::vector<uint64_t>>(std::move(entries));
}

// A range ends no later than the lowest entry of another written function
// above its start: code that was not relaxed never reaches one.
void LineRecords::clip_ranges(PendingUnit& unit) const {
    if (!entries_) return;
    const std::vector<uint64_t>& entries = *entries_;
    auto it = entries.begin();
    for (const PendingFunction& f : unit.functions) {
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            AddressRange& range = unit.ranges[f.firstRange + k];
            // The first entry above the range's start.
            it = lower_bound_near(entries.begin(), entries.end(), it, range.low,
                                  [](uint64_t entry, uint64_t low) { return entry <= low; });
            auto above = it;
            if (above != entries.end() && *above == f.value) ++above;
            if (above != entries.end() && *above < range.high) range.high = *above;
        }
    }
}

const std::vector<std::string>& LineRecords::file_paths(uint64_t unitOffset) {
    for (const auto& known : paths_) {
        if (known.first == unitOffset) return known.second;
    }
    std::vector<std::string> paths;
    const std::unique_ptr<DwarfUnit> unit = resolver_.open_unit(unitOffset);
    if (unit->header().firstDie < unit->header().end) {
        const DieInfo root = unit->read_die(unit->header().firstDie);
        if (root.hasStmtList) {
            const LineTable table = decode_line_table(resolver_.sections(), root.stmtList, unit->header().addressSize);
            paths = table_paths(table, std::string(unit->string(root.compDir)));
        }
    }
    paths_.emplace_back(unitOffset, std::move(paths));
    return paths_.back().second;
}

// The phases, in order: the unit's functions unpacked and their ranges
// clipped, the line table's files grouped, the rows kept, each function's
// file chosen, the rows claimed, the records written, the rows listed.
void LineRecords::write_unit(PendingUnit& unit) {
    if (listing_) {
        listing_->put(unit.listing);
        unit.listing = std::string();
    }
    if (!unit.writesLines) return;
    if (!unit.marker.empty()) files_.file_marker(unit.marker);
    if (!unit.hasStmtList) return;
    if (!buffers_) buffers_ = std::make_unique<Buffers>();
    Buffers& b = *buffers_;
    // The unit's functions are unpacked into lists that keep their memory
    // for the next unit, and handed back when it is written.
    unit.functions.swap(b.functions);
    unit.ranges.swap(b.ranges);
    struct Release {
        PendingUnit& unit;
        Buffers& b;
        ~Release() {
            unit.functions.swap(b.functions);
            unit.ranges.swap(b.ranges);
            unit.functions = std::vector<PendingFunction>();
            unit.ranges = std::vector<AddressRange>();
        }
    } release{unit, b};
    unpack_and_clip(unit);
    read_rows(unit);
    keep_sequences(unit);
    function_files(unit);
    claim_rows(unit);
    write_records(unit);
    if (listing_) list_rows();
}

void LineRecords::unpack_and_clip(PendingUnit& unit) const {
    unpack_functions(unit);
    clip_ranges(unit);
}

// Numbers the line table's files by group: 0 the unit's own file (none in
// a link-time unit), the others by path as they are met.
void LineRecords::group_files(const LineTable& table, const PendingUnit& unit) {
    Buffers& b = *buffers_;
    b.paths = table_paths(table, unit.compDir);
    const size_t fileCount = b.paths.size();
    b.groups = FileGroups();
    b.fileGroup.assign(fileCount, kNoGroup);
    if (unit.ownFile) {
        const std::vector<bool> own = own_files(b.paths, unit.name, unit.compDir);
        for (size_t f = 0; f < fileCount; ++f) {
            if (own[f]) {
                b.fileGroup[f] = 0;
                b.groups.set_own(b.paths[f]);
            }
        }
    }
    for (size_t f = 0; f < fileCount; ++f) {
        if (b.fileGroup[f] == kNoGroup) b.fileGroup[f] = b.groups.of_path(b.paths[f]);
    }
}

// A row that can give a line record is kept (with a line number, of a file
// with a path); what the row is, for the listing.
uint8_t LineRecords::take_row(const LineRow& row, uint32_t i) {
    Buffers& b = *buffers_;
    if (row.endSequence) return kEndOfSequence;
    if (row.line == 0) return kLineZero;
    const uint32_t g = row.file < b.fileGroup.size() ? b.fileGroup[row.file] : kNoGroup;
    if (g == kNoGroup) return kOtherFile;
    b.kept.push_back({row.address, row.line, i, g});
    return g == 0 ? kOutside : kOtherFile;
}

// Decodes the unit's line table, its files grouped and its rows taken. In
// debug mode the whole table is kept (the listing shows every row);
// otherwise the rows are taken as the program makes them, unless the
// program defines files of its own, which may change the groups of rows
// already taken: then they are taken again from the whole table.
void LineRecords::read_rows(const PendingUnit& unit) {
    Buffers& b = *buffers_;
    LineTable& table = b.table;
    auto from_table = [&] {
        b.kept.clear();
        decode_line_table(resolver_.sections(), unit.stmtList, unit.addressSize, table);
        group_files(table, unit);
        reserve_rounded(b.kept, table.rows.size());
        b.results.assign(listing_ ? table.rows.size() : 0, kOutside);
        for (uint32_t i = 0; i < table.rows.size(); ++i) {
            const uint8_t r = take_row(table.rows[i], i);
            if (listing_) b.results[i] = static_cast<RowResult>(r);
        }
    };
    if (listing_) return from_table();
    b.kept.clear();
    auto begin = [&](const LineTable& t, size_t rowsAtMost) {
        group_files(t, unit);
        reserve_rounded(b.kept, rowsAtMost);
    };
    auto take = [&](const LineRow& row, uint32_t i) { take_row(row, i); };
    KeptRowsSink<decltype(begin), decltype(take)> sink(begin, take);
    decode_line_table(resolver_.sections(), unit.stmtList, unit.addressSize, table, &sink);
    if (sink.files_changed(table)) from_table();
}

// Drops the rows of the sequences the linker discarded (it leaves them in
// place, moved to 0 or a tombstone) and notes where each kept sequence's
// rows start. The kept rows are in program order, as the sequences are.
void LineRecords::keep_sequences(const PendingUnit& unit) {
    Buffers& b = *buffers_;
    std::vector<KeptRow>& kept = b.kept;
    b.starts.clear();
    size_t in = 0, out = 0;
    for (const LineSequence& s : b.table.sequences) {
        const bool keep = kept_.sequence(s.start, unit.addressSize, unit.functionAtZero);
        if (keep) b.starts.push_back(static_cast<uint32_t>(out));
        for (; in < kept.size() && kept[in].row < s.lastRow; ++in) {
            if (!keep) continue;
            if (out != in) kept[out] = kept[in];
            ++out;
        }
        if (!keep && listing_) {
            for (uint64_t row = s.firstRow; row < s.lastRow; ++row) b.results[row] = kDiscarded;
        }
    }
    kept.resize(out);
}

// Each function's file: its declaration's, else the unit's own.
void LineRecords::function_files(const PendingUnit& unit) {
    Buffers& b = *buffers_;
    const uint32_t fallback = unit.ownFile ? 0 : kNoGroup;
    b.functionGroup.assign(unit.functions.size(), fallback);
    for (size_t i = 0; i < unit.functions.size(); ++i) {
        const PendingFunction& f = unit.functions[i];
        if (!f.hasDeclFile) continue;
        if (f.declUnit == unit.offset) {
            if (f.declFile < b.paths.size() && !b.paths[f.declFile].empty()) b.functionGroup[i] = b.fileGroup[f.declFile];
            continue;
        }
        const std::vector<std::string>& other = file_paths(f.declUnit);
        if (f.declFile < other.size() && !other[f.declFile].empty()) b.functionGroup[i] = b.groups.of_path(other[f.declFile]);
    }
}

// Each function claims the kept rows of its file in its ranges, found by
// address (program order among equals); a row two functions claim belongs
// to the first in DIE order.
void LineRecords::claim_rows(const PendingUnit& unit) {
    Buffers& b = *buffers_;
    const std::vector<KeptRow>& kept = b.kept;
    order_by_address(kept, b.starts, b.byAddress);
    b.claimed.assign(kept.size(), 0);
    b.claims.clear();
    reserve_rounded(b.claims, kept.size());
    b.claimSpan.assign(unit.functions.size(), {0, 0});
    auto next = b.byAddress.begin();
    for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
        const uint32_t g = b.functionGroup[fi];
        if (g == kNoGroup) continue;
        const PendingFunction& f = unit.functions[fi];
        const uint32_t first = static_cast<uint32_t>(b.claims.size());
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            const AddressRange& range = unit.ranges[f.firstRange + k];
            auto it = lower_bound_near(b.byAddress.begin(), b.byAddress.end(), next, range.low,
                                       [&](uint32_t i, uint64_t a) { return kept[i].address < a; });
            next = it;
            for (; it != b.byAddress.end() && kept[*it].address < range.high; ++it) {
                if (kept[*it].group != g) continue;
                if (b.claimed[*it]) {
                    if (listing_) b.results[kept[*it].row] = kClaimedEarlier;
                    continue;
                }
                b.claimed[*it] = 1;
                b.claims.push_back(*it);
            }
        }
        if (!std::is_sorted(b.claims.begin() + first, b.claims.end())) std::sort(b.claims.begin() + first, b.claims.end());
        b.claimSpan[fi] = {first, static_cast<uint32_t>(b.claims.size())};
    }
}

// A function's records: its base record (the row at its entry, else its
// first) at the entry address, then each claimed row but those at the
// entry and those a later row at the same address supersedes.
void LineRecords::write_function(const PendingUnit& unit, size_t fi) {
    Buffers& b = *buffers_;
    const auto [begin, end] = b.claimSpan[fi];
    if (begin == end) return;
    const std::vector<KeptRow>& kept = b.kept;
    const uint64_t entry = unit.functions[fi].value;
    uint32_t base = b.claims[begin];
    for (uint32_t j = begin; j < end; ++j) {
        if (kept[b.claims[j]].address == entry) {
            base = b.claims[j];
            break;
        }
    }
    files_.line_record(static_cast<uint32_t>(entry), kept[base].line);
    for (uint32_t j = begin; j < end; ++j) {
        const KeptRow& row = kept[b.claims[j]];
        RowResult r = kWritten;
        if (row.address == entry) r = b.claims[j] == base ? kBaseLine : kAtEntry;
        else if (j + 1 < end && kept[b.claims[j + 1]].address == row.address) r = kSuperseded;
        else files_.line_record(static_cast<uint32_t>(row.address), row.line);
        if (listing_) b.results[row.row] = r;
    }
}

// The unit's own file first, then each other file in order of first
// appearance, under a marker of its own.
void LineRecords::write_records(const PendingUnit& unit) {
    Buffers& b = *buffers_;
    std::vector<uint32_t> order;
    for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
        const uint32_t g = b.functionGroup[fi];
        if (g == 0) write_function(unit, fi);
        else if (g != kNoGroup && std::find(order.begin(), order.end(), g) == order.end()) order.push_back(g);
    }
    for (const uint32_t g : order) {
        const std::string_view name = base_name(b.groups.path(g));
        files_.file_marker(name.substr(0, std::min(name.size(), kNameLength)));
        for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
            if (b.functionGroup[fi] == g) write_function(unit, fi);
        }
    }
}

void LineRecords::list_rows() {
    const Buffers& b = *buffers_;
    const LineTable& table = b.table;
    print_line_heading(*listing_, table.offset, table.version);
    for (uint32_t i = 0; i < table.rows.size(); ++i) {
        const LineRow& row = table.rows[i];
        const std::string_view path = row.file < b.paths.size() ? std::string_view(b.paths[row.file]) : std::string_view();
        print_line_row(*listing_, row.address, base_name(path), row.line, row.endSequence,
                       row_result_text(b.results[i]));
    }
    print_line_end(*listing_);
}

}  // namespace dravont
