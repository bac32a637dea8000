// The symbol-file lines written so far, as 64-bit digests of value and name:
// a line is written once, however many units describe its entity.
//
// Two sets: the lines of the unit being walked (UnitLines), in a small table
// of their own, and those of the units before it (EarlierLines), in one
// large table. A repeated line has the address of its first, and each unit's
// lines lie in a few address ranges, one per section; the large table, too
// large for the cache, is searched only for an address inside the ranges of
// earlier units, which in a usual link never happens. A unit's lines join
// the earlier ones when it ends, in batches whose cache misses overlap; a
// unit walked apart from the others hands over only its ranges, and its
// lines join one by one as the merge puts them in order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dravont {

struct AllocatedSection;

// The lowest and the highest address of a unit's lines in one section;
// low > high: none there.
struct LineRange {
    uint64_t low, high;
};

// Digests eight to a 64-byte bucket, filled up to seven eighths; 0 marks an
// empty slot.
class DigestTable {
public:
    size_t count() const { return count_; }
    bool contains(uint64_t h) const;
    // `h` must not be there yet.
    void insert(uint64_t h);
    // Room for `count` digests: the first table holds `expected` with a
    // little to spare, and a full table doubles.
    void reserve(uint64_t count, uint64_t expected);
    void insert_all(const DigestTable& other);
    // Digests not there yet, in batches whose cache misses overlap; the
    // caller has made room for them.
    void insert_batch(const uint64_t* digests, size_t count);
    void clear();

private:
    static constexpr size_t kBucket = 8;
    size_t bucket_of(uint64_t h) const { return static_cast<size_t>(((h >> 32) * buckets_) >> 32); }
    void place(uint64_t h);

    std::vector<uint64_t> slots_;
    size_t buckets_ = 0;
    size_t count_ = 0;
};

// The digest of a line: never 0.
uint64_t line_digest(uint32_t value, std::string_view name);

// The lines of the unit being walked, and the ranges they lie in.
class UnitLines {
public:
    // The unit's table stays within a megabyte where its lines can join the
    // earlier ones at once: a huge unit's go over in parts of this many.
    static constexpr size_t kMaxLines = 1 << 16;

    explicit UnitLines(const std::vector<AllocatedSection>* sections = nullptr) : sections_(sections) {}

    // Room for about `lines` lines of the unit about to be walked.
    void expect(size_t lines);
    // Whether the unit wrote the line before.
    bool contains(uint64_t h, uint32_t value) {
        if (unitFilter_.empty() || !filter_holds(value)) return false;
        return table_contains(h);
    }
    // A line the unit writes; it must not be there yet.
    void add(uint64_t h, uint32_t value);
    size_t count() const { return table_.count() + fresh_.size(); }
    // Forgets the lines; the ranges they lie in go to `ranges` (by section).
    void clear(std::vector<LineRange>& ranges);

private:
    friend class EarlierLines;
    // A repeated line has its first one's value. The unit's values set
    // three bits each in a filter of some 32 bits a line (at most 128 KB,
    // within the second-level cache): a value that finds a bit clear is new
    // to the unit, which is nearly all of them. Their digests wait in
    // fresh_; only a value that finds its bits set, which in a usual unit
    // happens a few times if at all, puts them into the unit's table (large
    // and slow to reach: a cache miss a digest) and looks its digest up.
    std::array<size_t, 3> filter_bits(uint32_t value) const {
        const uint64_t k = value * 0x9E3779B97F4A7C15ull;
        return {static_cast<size_t>(k >> 40) & filterMask_, static_cast<size_t>(k >> 20) & filterMask_,
                static_cast<size_t>(k) & filterMask_};
    }
    bool filter_holds(uint32_t value) const {
        for (const size_t bit : filter_bits(value)) {
            if (!(unitFilter_[bit / 64] >> (bit % 64) & 1)) return false;
        }
        return true;
    }
    bool table_contains(uint64_t h);
    // A filter for about `lines` lines; only while the unit has none.
    void size_filter(size_t lines);
    void extend_range(uint32_t value);

    const std::vector<AllocatedSection>* sections_;
    DigestTable table_;
    std::vector<uint64_t> fresh_;       // the unit's digests not yet in table_
    std::vector<uint64_t> unitFilter_;  // three bits a value of the unit's lines
    size_t filterMask_ = 0;
    std::vector<LineRange> ranges_;  // by section
};

// The lines of the units already written.
class EarlierLines {
public:
    EarlierLines() = default;
    // `expected`: about how many lines the run writes (the symbol table's
    // entries), for sizing the large table once, so that a large input never
    // holds an old and a new copy of it.
    explicit EarlierLines(uint64_t expected) : expected_(expected) {}

    // Whether an earlier unit wrote the line.
    bool contains(uint64_t h, uint32_t value);
    // Whether any of a unit's ranges meets an earlier unit's: only then can
    // one of its lines repeat an earlier one.
    bool meets(const std::vector<LineRange>& ranges) const;
    // A line put in the files; its unit's ranges follow with add_ranges.
    void add(uint64_t h);
    void add_ranges(const std::vector<LineRange>& ranges);
    // The lines of `unit` join these, and the unit is cleared.
    void take(UnitLines& unit);

private:
    // Merges a range into the sorted, disjoint ranges of earlier units.
    void add_range(const LineRange& r);
    bool in_ranges(uint32_t value) const;
    void flush_pending();

    uint64_t expected_ = 0;
    DigestTable all_;
    std::vector<LineRange> ranges_;     // sorted, disjoint
    std::vector<uint64_t> pending_;     // added while the large table was not needed yet
    std::vector<LineRange> unitRanges_;  // take's, kept with their memory
};

}  // namespace dravont
