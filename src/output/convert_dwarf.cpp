#include "output/convert_dwarf.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "common/elf_messages.h"
#include "common/hash.h"
#include "common/ordered_work.h"
#include "common/reserve.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "common/text_out.h"
#include "dwarf/debug_info.h"
#include "dwarf/dwarf_constants.h"
#include "dwarf/line_program.h"
#include "dwarf/ranges.h"
#include "listing/elf_listing.h"
#include "output/debugger_files.h"
#include "output/dwarf_line_records.h"
#include "output/dwarf_resolver.h"
#include "output/folded_functions.h"
#include "output/name_collisions.h"

namespace dravont {

namespace {

constexpr size_t kMaxDepth = 4096;  // nesting of DIEs
constexpr size_t kNameLength = 32;  // a name is cut after 32 characters
constexpr size_t kStaticLength = 65;  // a qualified static's name is cut after 65
// Units are walked on several threads only when none has more .debug_info
// than this: a unit's part holds a few times that much while it waits for
// the merge.
constexpr uint64_t kLargestUnitApart = 1u << 20;

std::string_view cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

// The symbol-file lines written so far, as 64-bit digests of value and
// name: a line is written once, however many units describe its entity.
//
// The digests of the unit being walked sit in a small table of their own;
// those of earlier units in one large table, sized once from the symbol
// table (about a symbol per line) so that a large input never holds an old
// and a new copy of it. A repeated line has the address of its first, and
// each unit's lines lie in a few address ranges, one per section; the large
// table, too large for the cache, is searched only for an address inside
// the ranges of earlier units, which in a usual link never happens. Each
// unit's digests join it when the unit ends, in batches whose cache misses
// overlap.
//
// Units walked on several threads know only their own lines
// (first_in_unit); the merge that puts their lines in order drops those an
// earlier unit wrote (written_earlier), and there the large table is made
// only when a unit's lines first fall inside an earlier unit's ranges.
class WrittenLines {
public:
    struct Range {
        uint64_t low, high;  // the lowest and the highest address of a unit's lines in one section
    };

    WrittenLines() = default;
    WrittenLines(uint64_t expected, const std::vector<AllocatedSection>* sections)
        : sections_(sections), expected_(expected) {}

    static uint64_t digest(uint32_t value, std::string_view name) {
        const uint64_t h = hash_bytes(name, value);
        return h == 0 ? 1 : h;  // 0 marks an empty slot
    }

    // False when the same value and name were written before.
    bool first_time(uint64_t h, uint32_t value) {
        if (in_unit(h, value)) return false;
        if (earlier(value) && all_.contains(h)) return false;
        add_to_unit(h, value);
        if (unit_.count() + unitNew_.size() >= kUnitLines) end_unit();  // a huge unit goes over in parts
        return true;
    }

    // The walk of a unit has ended: its lines join the earlier ones.
    void end_unit() {
        all_.reserve(all_.count() + unit_.count() + unitNew_.size(), expected_);
        all_.insert_all(unit_);
        all_.insert_batch(unitNew_.data(), unitNew_.size());
        clear_unit();
        for (const Range& r : unitRanges_) add_earlier(r);
        unitRanges_.clear();
    }

    // A unit walked apart from the others: false when the unit wrote the
    // same line before.
    bool first_in_unit(uint64_t h, uint32_t value) {
        if (in_unit(h, value)) return false;
        add_to_unit(h, value);
        return true;
    }
    // Room for about `lines` lines of the unit about to be walked.
    void expect_unit_lines(size_t lines) {
        reserve_rounded(unitNew_, lines);
        if (unitNew_.empty() && unit_.count() == 0) size_filter(lines);
    }
    // Ends such a unit: its lines are forgotten, the ranges they lie in
    // handed over.
    void end_unit_apart(std::vector<Range>& ranges) {
        clear_unit();
        ranges.swap(unitRanges_);
        unitRanges_.clear();
    }

    // The merge: whether any of a unit's ranges meets an earlier unit's.
    bool overlaps_earlier(const std::vector<Range>& ranges) const {
        for (const Range& r : ranges) {
            if (r.low > r.high) continue;  // no line in that section
            auto it = std::lower_bound(earlier_.begin(), earlier_.end(), r.low,
                                       [](const Range& e, uint64_t low) { return e.high < low; });
            if (it != earlier_.end() && it->low <= r.high) return true;
        }
        return false;
    }
    // True when an earlier unit wrote the line.
    bool written_earlier(uint64_t h, uint32_t value) {
        if (!earlier(value)) return false;
        if (!pending_.empty()) {
            all_.reserve(all_.count() + pending_.size(), expected_);
            for (uint64_t d : pending_) all_.insert(d);
            pending_ = std::vector<uint64_t>();
        }
        return all_.contains(h);
    }
    // A merged unit's line and, once its lines are in, its ranges.
    void add_written(uint64_t h) {
        if (all_.count() == 0) {
            if (pending_.empty()) pending_.reserve(static_cast<size_t>(std::min<uint64_t>(expected_, 1u << 24)));
            pending_.push_back(h);
        } else {
            all_.reserve(all_.count() + 1, expected_);
            all_.insert(h);
        }
    }
    void add_ranges(const std::vector<Range>& ranges) {
        for (const Range& r : ranges) add_earlier(r);
    }

private:
    static constexpr size_t kUnitLines = 1 << 16;  // the unit's table stays within a megabyte

    // A repeated line has its first one's value. The unit's values set
    // three bits each in a filter of some 32 bits a line (at most 128 KB,
    // within the second-level cache): a value that finds a bit clear is new
    // to the unit, which is nearly all of them. Their digests wait in
    // unitNew_; only a value that finds its bits set, which in a usual unit
    // happens a few times if at all, puts them into the unit's table (large
    // and slow to reach: a cache miss a digest) and looks its digest up.
    std::array<size_t, 3> filter_bits(uint32_t value) const {
        const uint64_t k = value * 0x9E3779B97F4A7C15ull;
        return {static_cast<size_t>(k >> 40) & filterMask_, static_cast<size_t>(k >> 20) & filterMask_,
                static_cast<size_t>(k) & filterMask_};
    }
    bool in_unit(uint64_t h, uint32_t value) {
        if (unitFilter_.empty()) return false;
        for (const size_t bit : filter_bits(value)) {
            if (!(unitFilter_[bit / 64] >> (bit % 64) & 1)) return false;
        }
        unit_.reserve(unit_.count() + unitNew_.size(), 0);
        unit_.insert_batch(unitNew_.data(), unitNew_.size());
        unitNew_.clear();
        return unit_.contains(h);
    }
    void add_to_unit(uint64_t h, uint32_t value) {
        if (unitFilter_.empty()) size_filter(1024);
        for (const size_t bit : filter_bits(value)) unitFilter_[bit / 64] |= uint64_t{1} << (bit % 64);
        unitNew_.push_back(h);
        extend_range(value);
    }
    // A filter for about `lines` lines; only while the unit has none.
    void size_filter(size_t lines) {
        size_t bits = size_t{1} << 12;
        while (bits < 32 * lines && bits < (size_t{1} << 20)) bits *= 2;
        if (bits == filterMask_ + 1) return;  // cleared when the last unit ended
        unitFilter_.assign(bits / 64, 0);
        filterMask_ = bits - 1;
    }
    void clear_unit() {
        if (unit_.count() != 0) unit_.clear();
        unitNew_.clear();
        std::fill(unitFilter_.begin(), unitFilter_.end(), 0);
    }

    // Digests eight to a 64-byte bucket, filled up to seven eighths.
    class Table {
    public:
        size_t count() const { return count_; }
        bool contains(uint64_t h) const {
            if (slots_.empty()) return false;
            for (size_t b = bucket_of(h);; b = b + 1 == buckets_ ? 0 : b + 1) {
                const uint64_t* bucket = slots_.data() + b * kBucket;
                for (size_t i = 0; i < kBucket; ++i) {
                    if (bucket[i] == h) return true;
                    if (bucket[i] == 0) return false;
                }
            }
        }
        // `h` must not be there yet.
        void insert(uint64_t h) {
            reserve(count_ + 1, 0);
            place(h);
            ++count_;
        }
        // Room for `count` digests: the first table holds `expected` with a
        // little to spare, and a full table doubles.
        void reserve(uint64_t count, uint64_t expected) {
            if (8 * count <= 7 * slots_.size()) return;
            uint64_t wanted = std::max<uint64_t>({256, 2 * slots_.size(), expected / 7 * 8 + expected / 64 + 64});
            while (7 * wanted < 8 * count) wanted *= 2;
            std::vector<uint64_t> old(static_cast<size_t>((wanted + kBucket - 1) / kBucket * kBucket), 0);
            old.swap(slots_);
            buckets_ = slots_.size() / kBucket;
            for (uint64_t h : old) {
                if (h != 0) place(h);
            }
        }
        void insert_all(const Table& other) {
            constexpr size_t kBatch = 64;
            uint64_t batch[kBatch];
            size_t n = 0;
            for (uint64_t h : other.slots_) {
                if (h == 0) continue;
                batch[n++] = h;
                if (n == kBatch) insert_batch(batch, n), n = 0;
            }
            insert_batch(batch, n);
        }
        // Digests not there yet, in batches whose cache misses overlap; the
        // caller has made room for them.
        void insert_batch(const uint64_t* digests, size_t count) {
            constexpr size_t kBatch = 64;
            for (size_t at = 0; at < count; at += kBatch) {
                const size_t n = std::min(kBatch, count - at);
#if defined(__GNUC__)
                for (size_t i = 0; i < n; ++i) __builtin_prefetch(slots_.data() + bucket_of(digests[at + i]) * kBucket);
#endif
                for (size_t i = 0; i < n; ++i) place(digests[at + i]);
                count_ += n;
            }
        }
        void clear() {
            std::fill(slots_.begin(), slots_.end(), 0);
            count_ = 0;
        }

    private:
        static constexpr size_t kBucket = 8;
        size_t bucket_of(uint64_t h) const { return static_cast<size_t>(((h >> 32) * buckets_) >> 32); }
        void place(uint64_t h) {
            for (size_t b = bucket_of(h);; b = b + 1 == buckets_ ? 0 : b + 1) {
                uint64_t* bucket = slots_.data() + b * kBucket;
                for (size_t i = 0; i < kBucket; ++i) {
                    if (bucket[i] == 0) {
                        bucket[i] = h;
                        return;
                    }
                }
            }
        }

        std::vector<uint64_t> slots_;
        size_t buckets_ = 0;
        size_t count_ = 0;
    };

    // The allocated section holding `value`, or the one past the last.
    size_t section_of(uint32_t value) const {
        const size_t n = sections_ ? sections_->size() : 0;
        for (size_t i = 0; i < n; ++i) {
            if (value >= (*sections_)[i].low && value < (*sections_)[i].high) return i;
        }
        return n;
    }
    void extend_range(uint32_t value) {
        const size_t s = section_of(value);
        if (s >= unitRanges_.size()) unitRanges_.resize(s + 1, Range{UINT64_MAX, 0});
        unitRanges_[s].low = std::min<uint64_t>(unitRanges_[s].low, value);
        unitRanges_[s].high = std::max<uint64_t>(unitRanges_[s].high, value);
    }
    // Merges a range into the sorted, disjoint ranges of earlier units.
    void add_earlier(const Range& r) {
        if (r.low > r.high) return;  // no line in that section
        Range merged = r;
        auto first = std::lower_bound(earlier_.begin(), earlier_.end(), r.low,
                                      [](const Range& e, uint64_t low) { return e.high < low; });
        auto last = first;
        for (; last != earlier_.end() && last->low <= r.high; ++last) {
            merged.low = std::min(merged.low, last->low);
            merged.high = std::max(merged.high, last->high);
        }
        *earlier_.insert(earlier_.erase(first, last), merged) = merged;
    }
    bool earlier(uint32_t value) const {
        auto it = std::lower_bound(earlier_.begin(), earlier_.end(), uint64_t{value},
                                   [](const Range& e, uint64_t v) { return e.high < v; });
        return it != earlier_.end() && it->low <= value;
    }

    const std::vector<AllocatedSection>* sections_ = nullptr;
    uint64_t expected_ = 0;
    Table unit_;
    std::vector<uint64_t> unitNew_;     // the unit's digests not yet in unit_
    std::vector<uint64_t> unitFilter_;  // three bits a value of the unit's lines
    size_t filterMask_ = 0;
    Table all_;
    std::vector<Range> unitRanges_;  // by section
    std::vector<Range> earlier_;     // sorted, disjoint
    std::vector<uint64_t> pending_;  // the merge's digests while the large table is not needed
};

// The name being written, put together in place: a written name is cut
// after 32 characters and a qualified one after 65, so what lies past the
// buffer's end is never written (nor part of a qualifier that is).
class NameBuilder {
public:
    void clear() { size_ = 0; }
    NameBuilder& add(std::string_view s) {
        const size_t n = std::min(s.size(), sizeof data_ - size_);
        if (n != 0) std::memcpy(data_ + size_, s.data(), n);
        size_ += n;
        return *this;
    }
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

// A symbol-file line of a unit walked apart, kept until the merge lays it
// out: what the line holds, its digest, and the function whose line it is.
// In a part's buffer each record is followed by the name's bytes (cut
// where the line cuts it) and padding to eight bytes; a third the size of
// the line it stands for, with its digest.
struct SymbolRecord {
    uint64_t digest;
    uint32_t value;
    uint32_t function;      // index into the unit's functions; kNoFunction for a variable
    const char* sizeClass;  // one of the size-class table's texts
    uint16_t nameLength;
    bool external;
};
constexpr uint32_t kNoFunction = UINT32_MAX;
constexpr size_t kRecordSize = (sizeof(SymbolRecord) + 7) / 8 * 8;

// What one unit walked apart gives the merge, or its line records the
// line file.
struct UnitPart {
    bool made = false;  // false: a unit without DIEs, or a type unit
    PendingUnit unit;   // its functions unpacked
    TextOut text;       // its symbol records, later its line records
    size_t records = 0;
    std::vector<WrittenLines::Range> ranges;
    int16_t symbolCount = 0;
    int16_t lineCount = 0;
};

// The conversion on one thread: the whole of it (run), or as one of
// several workers, units and their line records one at a time (walk_apart,
// write_lines_apart) into texts of its own.
class Conversion {
public:
    // The whole conversion, writing to the run's files.
    Conversion(RunState& state, const DwarfInput& input, TextOut* listing, std::string_view prefix,
               const FoldedFunctions& folded)
        : state_(state), input_(input), sections_(input.sections), folded_(folded), files_(state), listing_(listing),
          resolver_(input.sections), classes_(resolver_), lines_(resolver_, files_, listing, input.allocated),
          prefix_(prefix), written_(input.symbolCount, &input.allocated) {
        entityOut_.set_utf8(state.out.utf8());
    }
    // A worker: writes into the parts it is given.
    Conversion(RunState& state, const DwarfInput& input, std::string_view prefix, const FoldedFunctions& folded)
        : state_(state), input_(input), sections_(input.sections), folded_(folded), listing_(nullptr),
          resolver_(input.sections), classes_(resolver_), lines_(resolver_, files_, nullptr, input.allocated),
          prefix_(prefix), written_(0, &input.allocated), apart_(true) {}

    void run();
    // Walks the unit into `part`.
    void walk_apart(const UnitHeader& header, UnitPart& part);
    // Writes the line records of `unit` into `part.lines`.
    void write_lines_apart(PendingUnit& unit, UnitPart& part);
    LineRecords& line_records() { return lines_; }
    NameCollisions& collisions() { return collisions_; }

private:
    bool convert_unit(const UnitHeader& header, PendingUnit& target);
    void refuse_split_unit(const DwarfUnit& unit, const DieInfo& root);
    void walk_dies(const DwarfUnit& unit, const DieInfo& root);
    void on_subprogram(const DwarfUnit& unit, const DieInfo& die);
    void on_variable(const DwarfUnit& unit, const DieInfo& die);
    void push_inlined_scope(const DwarfUnit& unit, const DieInfo& die);

    bool placed(uint64_t address, bool executable, const Entity& e, uint8_t addressSize) const;
    bool function_ranges(const DwarfUnit& unit, const DieInfo& die, const Entity& e, uint64_t& entry);
    void written_name(NameBuilder& name, const Entity& e, bool hasAddress, uint64_t address);
    void qualify(NameBuilder& name, const DwarfUnit& unit, const Entity& e);
    std::string_view file_scope(const DwarfUnit& unit, const Entity& e);
    bool write_symbol(const Entity& e, uint64_t value, std::string_view name, const char* sizeClass, uint64_t die,
                      std::string_view full);
    std::string_view uncut_name(const Entity& e, size_t own, bool fileScope);
    std::string_view file_scope_full(const Entity& e);
    void write_line(const Entity& e, uint32_t address, std::string_view name, const char* sizeClass);
    // Every entity passes here; only the listing does anything with it, so
    // the test stays in line at the callers.
    void list_entity(const DwarfUnit& unit, const DieInfo& die, const Entity& e, bool hasAddress,
                     uint64_t address, std::string_view result, bool withType) {
        if (listing_) list_entity_row(unit, die, e, hasAddress, address, result, withType);
    }
    void list_entity_row(const DwarfUnit& unit, const DieInfo& die, const Entity& e, bool hasAddress,
                         uint64_t address, std::string_view result, bool withType);

    RunState& state_;
    const DwarfInput& input_;
    const DwarfSections& sections_;
    const FoldedFunctions& folded_;
    DebuggerFiles files_;
    TextOut* listing_;
    TextOut entityOut_;  // debug mode: the current unit's entity table
    DieResolver resolver_;
    TypeClasses classes_;
    LineRecords lines_;
    std::string_view prefix_;
    WrittenLines written_;
    const bool apart_ = false;  // a worker
    UnitPart* part_ = nullptr;  // a worker's, of the unit being walked
    size_t lastRecord_ = 0;     // where in part_->text the last record starts
    std::vector<PendingUnit> units_;  // their functions packed
    std::vector<PendingFunction> functions_;
    std::vector<AddressRange> ranges_;

    // Per unit.
    PendingUnit* unit_ = nullptr;
    std::string_view unitPrefix_;
    std::string fileName_;              // the unit's base name, cut after 32
    ScopeStack scopes_;                 // written names of the enclosing functions
    NameBuilder name_;                  // the name being written
    bool prefixed_ = false;             // whether written_name put the label prefix
    std::string fullName_;              // uncut_name's
    size_t fullQualifierAt_ = 0;        // where its qualifier starts
    NameCollisions collisions_;
};

void Conversion::run() {
    if (!sections_.info.present) return;
    try {
        for (uint64_t offset = 0; offset < sections_.info.size;) {
            const UnitHeader header = decode_unit_header(sections_, offset);
            units_.emplace_back();
            if (!convert_unit(header, units_.back())) units_.pop_back();
            offset = header.end;
        }
    } catch (...) {
        // The listing shows what was read before the fault.
        if (listing_) {
            for (const PendingUnit& unit : units_) listing_->put(unit.listing);
            listing_->put(entityOut_.take());
        }
        throw;
    }
    written_ = WrittenLines();  // freed before the line records need their memory
    folded_.finish(units_, sections_, input_.allocated, files_, collisions_, listing_);
    lines_.set_entries(all_entries(units_));
    for (PendingUnit& unit : units_) lines_.write_unit(unit);
    const std::vector<NameCollisions::Collision> found = collisions_.find();
    state_.warning = NameCollisions::warning(found);
    if (listing_) NameCollisions::list(*listing_, found);
}

void Conversion::refuse_split_unit(const DwarfUnit& unit, const DieInfo& root) {
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
    throw RunFailure(text.take());
}

bool Conversion::convert_unit(const UnitHeader& header, PendingUnit& target) {
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
    // A line comes with every few dozen bytes of DIEs.
    written_.expect_unit_lines(static_cast<size_t>(std::min<uint64_t>((header.end - header.offset) / 16, 1u << 24)));
    // A unit walked apart keeps its lists until the merge packs them, once
    // it has dropped repeated functions.
    if (apart_) {
        walk_dies(unit, root);
        return true;
    }
    // The unit's lists of functions and ranges keep their memory from unit
    // to unit; a unit keeps only the packed copy.
    unit_->functions.swap(functions_);
    unit_->ranges.swap(ranges_);
    walk_dies(unit, root);
    written_.end_unit();
    pack_functions(*unit_);
    unit_->functions.swap(functions_);
    unit_->ranges.swap(ranges_);
    if (listing) {
        print_entity_end(*listing);
        unit_->listing = entityOut_.take();
    }
    return true;
}

void Conversion::walk_apart(const UnitHeader& header, UnitPart& part) {
    part.text.clear();
    // A unit's lines take a few times its DIEs' bytes, and a line, a
    // function or a range comes with every few dozen of them: room for them
    // at once spares the copies of growing lists (and costs nothing where
    // it stays untouched).
    const size_t bytes = static_cast<size_t>(std::min<uint64_t>(header.end - header.offset, kLargestUnitApart));
    part.text.expect(bytes * 2);
    part.records = 0;
    part.ranges.clear();
    part.symbolCount = 0;
    files_.set_target(part.text, part.text, part.symbolCount, part.lineCount);
    part_ = &part;
    // A fresh unit, with the memory of the lists of the slot's last one.
    PendingUnit fresh;
    fresh.functions.swap(part.unit.functions);
    fresh.ranges.swap(part.unit.ranges);
    part.unit = std::move(fresh);
    reserve_rounded(part.unit.functions, bytes / 32);
    reserve_rounded(part.unit.ranges, bytes / 32);
    part.made = convert_unit(header, part.unit);
    written_.end_unit_apart(part.ranges);
}

void Conversion::write_lines_apart(PendingUnit& unit, UnitPart& part) {
    part.text.clear();
    part.lineCount = 0;
    files_.set_target(part.text, part.text, part.symbolCount, part.lineCount);
    lines_.write_unit(unit);
}

void Conversion::walk_dies(const DwarfUnit& unit, const DieInfo& root) {
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

// Whether the linker kept what the entity's address describes. It moves the
// addresses of what it discarded to 0 (or to a tombstone, all ones); where
// code or data really starts at 0, an entity there is taken as real only
// when the symbol table has it at 0.
bool Conversion::placed(uint64_t address, bool executable, const Entity& e, uint8_t addressSize) const {
    if (is_tombstone(address, addressSize) || !in_sections(input_.allocated, address, executable)) return false;
    if (address != 0 || !input_.hasSymbols) return true;
    for (const std::string_view n : {e.name, e.linkageName}) {
        if (n.empty()) continue;
        if (input_.hasSymbolAt(0, n) || input_.hasSymbolAt(0, "_" + std::string(n))) return true;
    }
    return false;
}

// The function's ranges that the linker kept, appended to the unit's; false
// when none is left. `entry` is then its entry address.
bool Conversion::function_ranges(const DwarfUnit& unit, const DieInfo& die, const Entity& e, uint64_t& entry) {
    const uint8_t size = unit.header().addressSize;
    std::vector<AddressRange>& ranges = unit_->ranges;
    if (die.lowPc.kind == AddrAttr::Address || die.lowPc.kind == AddrAttr::Index) {
        const uint64_t low = unit.address(die.lowPc);
        if (!placed(low, true, e, size)) return false;
        uint64_t high = low;
        if (die.highPc.kind == AddrAttr::Constant) high = low + die.highPc.value;
        else if (die.highPc.kind != AddrAttr::None) high = unit.address(die.highPc);
        if (high > low) ranges.push_back({low, high});
        entry = low;
        return true;
    }
    const size_t first = ranges.size();
    for (const AddressRange& r : read_ranges(unit, die)) {
        if (placed(r.low, true, e, size)) ranges.push_back(r);
    }
    if (ranges.size() == first) return false;
    entry = ranges[first].low;
    uint64_t chosen = entry;
    if (die.entryPc.kind == AddrAttr::Constant) chosen = entry + die.entryPc.value;
    else if (die.entryPc.kind != AddrAttr::None) chosen = unit.address(die.entryPc);
    if (placed(chosen, true, e, size)) entry = chosen;
    return true;
}

// The C name with the label prefix, cut after 32. A name the symbol table
// spells without the prefix at the entity's address (a C function renamed by
// __asm__) is written as the symbol table spells it.
void Conversion::written_name(NameBuilder& name, const Entity& e, bool hasAddress, uint64_t address) {
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
std::string_view Conversion::file_scope_full(const Entity& e) {
    if (unit_->ownFile || !e.hasDeclFile) return base_name(unit_->name);
    const std::vector<std::string>& paths = lines_.file_paths(e.declUnit);
    if (e.declFile >= paths.size() || paths[e.declFile].empty()) return base_name(unit_->name);
    return base_name(paths[e.declFile]);
}

// The entity's name before any cut, where a cut changed it (else empty):
// its own name whole, and a static's qualifier from the enclosing
// function's name before its cut, or the file's whole base name (always
// that with `fileScope`). `own` is the size of the name written_name made.
std::string_view Conversion::uncut_name(const Entity& e, size_t own, bool fileScope) {
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
std::string_view Conversion::file_scope(const DwarfUnit& unit, const Entity& e) {
    (void)unit;
    if (unit_->ownFile || !e.hasDeclFile) return fileName_;
    const std::vector<std::string>& paths = lines_.file_paths(e.declUnit);
    if (e.declFile >= paths.size() || paths[e.declFile].empty()) return fileName_;
    return cut(base_name(paths[e.declFile]), kNameLength);
}

void Conversion::qualify(NameBuilder& name, const DwarfUnit& unit, const Entity& e) {
    if (e.external) return;
    name.add("@");
    if (scopes_.empty()) {
        name.add(file_scope(unit, e));
        return;
    }
    std::string_view scope = scopes_.back();
    if (!scope.empty() && scope.front() == '_') scope.remove_prefix(1);
    name.add(scope);
}

// Writes the entity's symbol-file line unless the same line was written
// before; false then.
bool Conversion::write_symbol(const Entity& e, uint64_t value, std::string_view name, const char* sizeClass,
                              uint64_t die, std::string_view full) {
    const uint32_t address = static_cast<uint32_t>(value);
    const std::string_view field = cut(name, e.external ? kNameLength : kStaticLength);
    if (NameCollisions::may_collide(field)) collisions_.note(unit_->offset, die, address, field, full);
    const uint64_t h = WrittenLines::digest(address, field);
    if (apart_) {
        if (!written_.first_in_unit(h, address)) return false;
        const std::string_view kept = cut(name, e.external ? kNameLength : kStaticLength);
        const SymbolRecord record{h, address, kNoFunction, sizeClass, static_cast<uint16_t>(kept.size()), e.external};
        TextOut& text = part_->text;
        lastRecord_ = text.text().size();
        const size_t size = kRecordSize + (kept.size() + 7) / 8 * 8;
        char* p = text.reserve(size);
        std::memcpy(p, &record, sizeof record);
        if (!kept.empty()) std::memcpy(p + kRecordSize, kept.data(), kept.size());
        text.advance(size);
        ++part_->records;
        return true;
    }
    if (!written_.first_time(h, address)) return false;
    write_line(e, address, name, sizeClass);
    return true;
}

void Conversion::write_line(const Entity& e, uint32_t address, std::string_view name, const char* sizeClass) {
    if (e.external) files_.external_symbol(address, name, sizeClass);
    else files_.static_symbol(address, name, sizeClass);
}

void Conversion::on_subprogram(const DwarfUnit& unit, const DieInfo& die) {
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
    qualify(name, unit, e);
    const std::string_view full = uncut_name(e, own, false);
    scopes_.push(name.view(), full);  // its statics are qualified with it, written or not
    if (!kept) {
        unit_->ranges.resize(firstRange);
        if (!hasAddress && !die.declaration) {
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
    if (!write_symbol(e, value, name.view(), sizeClass, die.offset, full)) {
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
    if (apart_) {
        const uint32_t index = static_cast<uint32_t>(unit_->functions.size());
        std::memcpy(part_->text.data() + lastRecord_ + offsetof(SymbolRecord, function), &index, sizeof index);
    }
    unit_->functions.push_back(f);
    unit_->functionAtZero = unit_->functionAtZero || value == 0;
    list_entity(unit, die, e, true, value, e.external ? "external" : "static", true);
}

void Conversion::push_inlined_scope(const DwarfUnit& unit, const DieInfo& die) {
    if (!die.hasChildren) return;
    const Entity e = resolver_.resolve(unit, die);
    if (e.c_name().empty()) return;
    // An inlined copy is qualified as its function would be written, at
    // file scope.
    NameBuilder& name = name_;
    written_name(name, e, false, 0);
    const size_t own = name.view().size();
    if (!e.external) name.add("@").add(file_scope(unit, e));
    scopes_.push(name.view(), uncut_name(e, own, true));
}

void Conversion::on_variable(const DwarfUnit& unit, const DieInfo& die) {
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
    if (!placed(value, false, e, size)) {
        list_entity(unit, die, e, true, value, "not written: discarded by the linker", false);
        return;
    }
    const char* sizeClass = classes_.size_class(unit, e.type);
    NameBuilder& name = name_;
    written_name(name, e, true, value);
    const size_t own = name.view().size();
    qualify(name, unit, e);
    const bool first = write_symbol(e, value, name.view(), sizeClass, die.offset, uncut_name(e, own, false));
    list_entity(unit, die, e, true, value,
                !first ? "not written: repeats a written symbol" : e.external ? "external" : "static", true);
}

void Conversion::list_entity_row(const DwarfUnit& unit, const DieInfo& die, const Entity& e,
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

// The conversion on several threads. Each worker walks whole units into
// parts of its own: their symbol-file lines, with what the merge needs to
// drop the lines an earlier unit wrote, and their functions. The parts are
// merged in unit order, so the files are the same as one thread writes.
// Then each worker writes whole units' line records, again put in the line
// file in unit order.
class ParallelConversion {
public:
    ParallelConversion(RunState& state, const DwarfInput& input, std::string_view prefix,
                       const FoldedFunctions& folded)
        : state_(state), input_(input), prefix_(prefix), folded_(folded), files_(state),
          written_(input.symbolCount, &input.allocated) {}

    // False, with nothing written, for an input one thread converts as
    // fast: fewer than two units, or a unit too large to hold apart.
    bool run();

private:
    void merge(UnitPart& part);
    void drop_functions(PendingUnit& unit, const std::vector<bool>& dropped);

    RunState& state_;
    const DwarfInput& input_;
    std::string_view prefix_;
    const FoldedFunctions& folded_;
    DebuggerFiles files_;  // the run's files
    WrittenLines written_;
    std::vector<PendingUnit> units_;
};

bool ParallelConversion::run() {
    const DwarfSections& sections = input_.sections;
    if (!sections.info.present) return false;
    // The unit headers; a fault in one is met, as one thread meets it, after
    // the units before it.
    std::vector<UnitHeader> headers;
    std::exception_ptr headerFault;
    try {
        for (uint64_t offset = 0; offset < sections.info.size;) {
            headers.push_back(decode_unit_header(sections, offset));
            offset = headers.back().end;
            if (headers.back().end - headers.back().offset > kLargestUnitApart) return false;
        }
    } catch (const MalformedInput&) {
        headerFault = std::current_exception();
    }
    if (headers.size() < 2) return false;

    WorkerPool& pool = *input_.pool;
    const unsigned threads = pool.threads();
    std::vector<std::unique_ptr<Conversion>> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.push_back(std::make_unique<Conversion>(state_, input_, prefix_, folded_));
    }
    const size_t window = threads + 1;
    std::unique_ptr<UnitPart[]> parts(new UnitPart[window]);

    const size_t count = headers.size() + (headerFault ? 1 : 0);
    pool.run_ordered(
        count, window,
        [&](size_t i, unsigned worker, size_t slot) {
            if (i == headers.size()) std::rethrow_exception(headerFault);
            workers[worker]->walk_apart(headers[i], parts[slot]);
        },
        [&](size_t, size_t slot) { merge(parts[slot]); });
    written_ = WrittenLines();  // freed before the line records need their memory
    NameCollisions& collisions = workers[0]->collisions();
    for (unsigned i = 1; i < threads; ++i) collisions.take(workers[i]->collisions());
    folded_.finish(units_, input_.sections, input_.allocated, files_, collisions, nullptr);

    // The entries of all units, once the merge's digests are gone: a large
    // input never holds both.
    workers[0]->line_records().set_entries(all_entries(units_));
    for (unsigned i = 1; i < threads; ++i) workers[i]->line_records().share_entries(workers[0]->line_records());

    TextOut& lines = state_.outputs->lines();
    pool.run_ordered(
        units_.size(), window,
        [&](size_t i, unsigned worker, size_t slot) { workers[worker]->write_lines_apart(units_[i], parts[slot]); },
        [&](size_t i, size_t slot) {
            UnitPart& part = parts[slot];
            lines.put_through(part.text.text());
            state_.lineCount = static_cast<int16_t>(state_.lineCount + part.lineCount);  // 16-bit: wraps
            units_[i] = PendingUnit();
        });
    state_.warning = NameCollisions::warning(collisions.find());
    return true;
}

// Puts a unit's lines in the symbol file, less those an earlier unit wrote,
// and keeps its functions, less those whose line was dropped.
void ParallelConversion::merge(UnitPart& part) {
    if (!part.made) return;
    const std::string_view text = part.text.text();
    const bool mayRepeat = written_.overlaps_earlier(part.ranges);
    std::vector<bool> dropped;
    if (mayRepeat) dropped.assign(part.unit.functions.size(), false);
    for (size_t at = 0, n = 0; n < part.records; ++n) {
        SymbolRecord r;
        std::memcpy(&r, text.data() + at, sizeof r);
        const std::string_view name = text.substr(at + kRecordSize, r.nameLength);
        at += kRecordSize + (r.nameLength + size_t{7}) / 8 * 8;
        if (mayRepeat && written_.written_earlier(r.digest, r.value)) {
            if (r.function != kNoFunction) dropped[r.function] = true;
            continue;
        }
        written_.add_written(r.digest);
        if (r.external) files_.external_symbol(r.value, name, r.sizeClass);
        else files_.static_symbol(r.value, name, r.sizeClass);
    }
    if (mayRepeat) drop_functions(part.unit, dropped);
    written_.add_ranges(part.ranges);
    pack_functions(part.unit);
    // The lists, empty now, keep their memory for the slot's next unit.
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    functions.swap(part.unit.functions);
    ranges.swap(part.unit.ranges);
    units_.push_back(std::move(part.unit));
    part.unit.functions.swap(functions);
    part.unit.ranges.swap(ranges);
}

void ParallelConversion::drop_functions(PendingUnit& unit, const std::vector<bool>& dropped) {
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    unit.functionAtZero = false;
    forget_dropped(unit.folded, dropped);
    for (size_t i = 0; i < unit.functions.size(); ++i) {
        if (dropped[i]) continue;
        PendingFunction f = unit.functions[i];
        const uint32_t first = static_cast<uint32_t>(ranges.size());
        for (uint32_t k = 0; k < f.rangeCount; ++k) ranges.push_back(unit.ranges[f.firstRange + k]);
        f.firstRange = first;
        functions.push_back(f);
        unit.functionAtZero = unit.functionAtZero || f.value == 0;
    }
    unit.functions.swap(functions);
    unit.ranges.swap(ranges);
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
    return "_";
}

void convert_dwarf(RunState& state, const DwarfInput& input, TextOut* listing) {
    const std::string_view prefix = decide_label_prefix(input);
    if (listing) listing->put("Label prefix: \"").put(prefix).put("\"\n\n");
    // The listing shows each unit's entities as one walk meets them.
    const FoldedFunctions folded(input.functionSymbols);
    if (!listing && input.pool && input.pool->threads() > 1 &&
        ParallelConversion(state, input, prefix, folded).run()) {
        return;
    }
    Conversion(state, input, listing, prefix, folded).run();
}

}  // namespace dravont
