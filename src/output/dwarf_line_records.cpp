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

namespace {

// LEB128 of zigzagged differences: nearby addresses take a byte or two.
// The caller has made room for ten bytes a value.
uint8_t* put_uleb(uint8_t* out, uint64_t v) {
    for (; v >= 0x80; v >>= 7) *out++ = static_cast<uint8_t>(v | 0x80);
    *out++ = static_cast<uint8_t>(v);
    return out;
}
uint8_t* put_delta(uint8_t* out, uint64_t from, uint64_t to) {
    const uint64_t d = to - from;
    return put_uleb(out, d << 1 ^ (0 - (d >> 63)));
}

// Reads what put_uleb and put_delta wrote; the bytes are the conversion's
// own, so they need no bounds.
struct Unpacker {
    const uint8_t* p;
    uint64_t uleb() {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t b = *p++;
            v |= uint64_t{b & 0x7Fu} << shift;
            if (b < 0x80) return v;
        }
    }
    uint64_t delta(uint64_t from) {
        const uint64_t z = uleb();
        return from + (z >> 1 ^ (0 - (z & 1)));
    }
};

enum : uint8_t { kHasDeclFile = 1, kOtherDeclUnit = 2 };

}  // namespace

void pack_functions(PendingUnit& unit) {
    constexpr size_t kMaxValue = 10;  // bytes of one LEB128 value
    std::vector<uint8_t> out(unit.functions.size() * (4 * kMaxValue + 1) + unit.ranges.size() * 2 * kMaxValue);
    uint8_t* p = out.data();
    uint64_t previous = 0;
    for (const PendingFunction& f : unit.functions) {
        p = put_delta(p, previous, f.value);
        previous = f.value;
        p = put_uleb(p, f.rangeCount);
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            const AddressRange& r = unit.ranges[f.firstRange + k];
            p = put_delta(p, f.value, r.low);
            p = put_delta(p, r.low, r.high);
        }
        const bool otherUnit = f.hasDeclFile && f.declUnit != unit.offset;
        *p++ = static_cast<uint8_t>((f.hasDeclFile ? kHasDeclFile : 0) | (otherUnit ? kOtherDeclUnit : 0));
        if (f.hasDeclFile) p = put_uleb(p, f.declFile);
        if (otherUnit) p = put_uleb(p, f.declUnit);
    }
    unit.packed.assign(out.data(), p);
    unit.functionCount = unit.functions.size();
    unit.functions.clear();
    unit.ranges.clear();
}

void unpack_functions(PendingUnit& unit) {
    unit.functions.clear();
    unit.ranges.clear();
    reserve_rounded(unit.functions, unit.functionCount);
    Unpacker in{unit.packed.data()};
    uint64_t previous = 0;
    for (size_t i = 0; i < unit.functionCount; ++i) {
        PendingFunction f;
        f.value = previous = in.delta(previous);
        f.firstRange = static_cast<uint32_t>(unit.ranges.size());
        f.rangeCount = static_cast<uint32_t>(in.uleb());
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            AddressRange r;
            r.low = in.delta(f.value);
            r.high = in.delta(r.low);
            unit.ranges.push_back(r);
        }
        const uint8_t flags = *in.p++;
        f.hasDeclFile = (flags & kHasDeclFile) != 0;
        if (f.hasDeclFile) f.declFile = in.uleb();
        f.declUnit = (flags & kOtherDeclUnit) ? in.uleb() : unit.offset;
        unit.functions.push_back(f);
    }
}

void append_entries(const PendingUnit& unit, std::vector<uint64_t>& entries) {
    Unpacker in{unit.packed.data()};
    uint64_t previous = 0;
    for (size_t i = 0; i < unit.functionCount; ++i) {
        entries.push_back(previous = in.delta(previous));
        const uint64_t ranges = in.uleb();
        for (uint64_t k = 0; k < 2 * ranges; ++k) in.uleb();
        const uint8_t flags = *in.p++;
        if (flags & kHasDeclFile) in.uleb();
        if (flags & kOtherDeclUnit) in.uleb();
    }
}

std::vector<uint64_t> all_entries(const std::vector<PendingUnit>& units) {
    std::vector<uint64_t> entries;
    size_t count = 0;
    for (const PendingUnit& unit : units) count += unit.functionCount;
    entries.reserve(count);
    for (const PendingUnit& unit : units) append_entries(unit, entries);
    return entries;
}

struct LineRecords::Buffers {
    LineTable table;
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    std::vector<uint32_t> functionGroup;
    std::vector<RowResult> results;
    std::vector<KeptRow> kept;
    std::vector<uint32_t> sequences;
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
    unpack_functions(unit);
    clip_ranges(unit);

    LineTable& table = b.table;
    std::vector<std::string> paths;
    size_t fileCount = 0;
    FileGroups groups;
    std::vector<uint32_t> fileGroup;
    auto group_files = [&](const LineTable& t) {
        paths = table_paths(t, unit.compDir);
        fileCount = paths.size();
        groups = FileGroups();
        fileGroup.assign(fileCount, kNoGroup);
        if (unit.ownFile) {
            const std::vector<bool> own = own_files(paths, unit.name, unit.compDir);
            for (size_t f = 0; f < fileCount; ++f) {
                if (own[f]) {
                    fileGroup[f] = 0;
                    groups.set_own(paths[f]);
                }
            }
        }
        for (size_t f = 0; f < fileCount; ++f) {
            if (fileGroup[f] == kNoGroup) fileGroup[f] = groups.of_path(paths[f]);
        }
    };

    // Rows that can give a line record are kept, with where each sequence's
    // kept rows start.
    std::vector<KeptRow>& kept = b.kept;
    std::vector<uint32_t>& sequences = b.sequences;
    bool sequenceStarts = true;
    bool sequenceKept = true;
    auto take_row = [&](const LineRow& row, uint32_t i) {
        if (sequenceStarts) {
            sequences.push_back(static_cast<uint32_t>(kept.size()));
            // What the linker discarded keeps its line sequences, moved to 0
            // or to a tombstone address.
            sequenceKept = kept_.sequence(row.address, unit.addressSize, unit.functionAtZero);
            sequenceStarts = false;
        }
        if (row.endSequence) sequenceStarts = true;
        if (!sequenceKept) return kDiscarded;
        if (row.endSequence) return kEndOfSequence;
        if (row.line == 0) return kLineZero;
        const uint32_t g = row.file < fileCount ? fileGroup[row.file] : kNoGroup;
        if (g == kNoGroup) return kOtherFile;
        kept.push_back({row.address, row.line, i, g});
        return g == 0 ? kOutside : kOtherFile;
    };
    std::vector<RowResult>& results = b.results;
    // The whole table decoded first: the listing shows every row.
    auto keep_from_table = [&] {
        kept.clear();
        sequences.clear();
        sequenceStarts = true;
        decode_line_table(resolver_.sections(), unit.stmtList, unit.addressSize, table);
        group_files(table);
        reserve_rounded(kept, table.rows.size());
        results.assign(listing_ ? table.rows.size() : 0, kOutside);
        for (uint32_t i = 0; i < table.rows.size(); ++i) {
            const RowResult r = take_row(table.rows[i], i);
            if (listing_) results[i] = r;
        }
    };
    if (listing_) {
        keep_from_table();
    } else {
        kept.clear();
        sequences.clear();
        auto begin = [&](const LineTable& t, size_t rowsAtMost) {
            group_files(t);
            reserve_rounded(kept, rowsAtMost);
        };
        KeptRowsSink<decltype(begin), decltype(take_row)> sink(begin, take_row);
        decode_line_table(resolver_.sections(), unit.stmtList, unit.addressSize, table, &sink);
        // A file defined by the program itself may change the groups of
        // rows already taken: taken again from the whole table.
        if (sink.files_changed(table)) keep_from_table();
    }

    // Each function's file: its declaration's, else the unit's own.
    const uint32_t fallback = unit.ownFile ? 0 : kNoGroup;
    std::vector<uint32_t>& functionGroup = b.functionGroup;
    functionGroup.assign(unit.functions.size(), fallback);
    for (size_t i = 0; i < unit.functions.size(); ++i) {
        const PendingFunction& f = unit.functions[i];
        if (!f.hasDeclFile) continue;
        if (f.declUnit == unit.offset) {
            if (f.declFile < fileCount && !paths[f.declFile].empty()) functionGroup[i] = fileGroup[f.declFile];
            continue;
        }
        const std::vector<std::string>& other = file_paths(f.declUnit);
        if (f.declFile < other.size() && !other[f.declFile].empty()) functionGroup[i] = groups.of_path(other[f.declFile]);
    }

    // Kept rows by address (program order among equals), to find each
    // function's rows by its ranges.
    std::vector<uint32_t>& byAddress = b.byAddress;
    order_by_address(kept, sequences, byAddress);

    // Each function claims the rows of its file in its ranges; a row two
    // functions claim belongs to the first in DIE order.
    std::vector<uint8_t>& claimed = b.claimed;
    claimed.assign(kept.size(), 0);
    std::vector<uint32_t>& claims = b.claims;
    claims.clear();
    reserve_rounded(claims, kept.size());
    std::vector<std::pair<uint32_t, uint32_t>>& claimSpan = b.claimSpan;
    claimSpan.assign(unit.functions.size(), {0, 0});
    auto next = byAddress.begin();
    for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
        const uint32_t g = functionGroup[fi];
        if (g == kNoGroup) continue;
        const PendingFunction& f = unit.functions[fi];
        const uint32_t first = static_cast<uint32_t>(claims.size());
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            const AddressRange& range = unit.ranges[f.firstRange + k];
            auto it = lower_bound_near(byAddress.begin(), byAddress.end(), next, range.low,
                                       [&](uint32_t i, uint64_t a) { return kept[i].address < a; });
            next = it;
            for (; it != byAddress.end() && kept[*it].address < range.high; ++it) {
                if (kept[*it].group != g) continue;
                if (claimed[*it]) {
                    if (listing_ && results[kept[*it].row] != kClaimedEarlier) results[kept[*it].row] = kClaimedEarlier;
                    continue;
                }
                claimed[*it] = 1;
                claims.push_back(*it);
            }
        }
        if (!std::is_sorted(claims.begin() + first, claims.end())) std::sort(claims.begin() + first, claims.end());
        claimSpan[fi] = {first, static_cast<uint32_t>(claims.size())};
    }

    auto write_function = [&](size_t fi) {
        const auto [begin, end] = claimSpan[fi];
        if (begin == end) return;
        const uint64_t entry = unit.functions[fi].value;
        uint32_t base = claims[begin];
        for (uint32_t j = begin; j < end; ++j) {
            if (kept[claims[j]].address == entry) {
                base = claims[j];
                break;
            }
        }
        files_.line_record(static_cast<uint32_t>(entry), kept[base].line);
        for (uint32_t j = begin; j < end; ++j) {
            const KeptRow& row = kept[claims[j]];
            RowResult r = kWritten;
            if (row.address == entry) r = claims[j] == base ? kBaseLine : kAtEntry;
            else if (j + 1 < end && kept[claims[j + 1]].address == row.address) r = kSuperseded;
            else files_.line_record(static_cast<uint32_t>(row.address), row.line);
            if (listing_) results[row.row] = r;
        }
    };
    // The unit's own file first, then each other file in order of first
    // appearance, under a marker of its own.
    std::vector<uint32_t> order;
    for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
        const uint32_t g = functionGroup[fi];
        if (g == 0) write_function(fi);
        else if (g != kNoGroup && std::find(order.begin(), order.end(), g) == order.end()) order.push_back(g);
    }
    for (const uint32_t g : order) {
        const std::string_view name = base_name(groups.path(g));
        files_.file_marker(name.substr(0, std::min(name.size(), kNameLength)));
        for (size_t fi = 0; fi < unit.functions.size(); ++fi) {
            if (functionGroup[fi] == g) write_function(fi);
        }
    }

    if (!listing_) return;
    print_line_heading(*listing_, table.offset, table.version);
    for (uint32_t i = 0; i < table.rows.size(); ++i) {
        const LineRow& row = table.rows[i];
        const std::string_view path = row.file < fileCount ? std::string_view(paths[row.file]) : std::string_view();
        print_line_row(*listing_, row.address, base_name(path), row.line, row.endSequence,
                       row_result_text(results[i]));
    }
    print_line_end(*listing_);
}

}  // namespace dravont
