// The sets of written symbol-file lines: a digest table, the unit's lines
// behind a small filter, and the earlier units' lines behind their ranges.
#include "output/written_lines.h"

#include <algorithm>

#include "common/hash.h"
#include "common/reserve.h"
#include "output/convert_dwarf.h"

namespace dravont {

uint64_t line_digest(uint32_t value, std::string_view name) {
    const uint64_t h = hash_bytes(name, value);
    return h == 0 ? 1 : h;  // 0 marks an empty slot
}

bool DigestTable::contains(uint64_t h) const {
    if (slots_.empty()) return false;
    for (size_t b = bucket_of(h);; b = b + 1 == buckets_ ? 0 : b + 1) {
        const uint64_t* bucket = slots_.data() + b * kBucket;
        for (size_t i = 0; i < kBucket; ++i) {
            if (bucket[i] == h) return true;
            if (bucket[i] == 0) return false;
        }
    }
}

void DigestTable::insert(uint64_t h) {
    reserve(count_ + 1, 0);
    place(h);
    ++count_;
}

void DigestTable::reserve(uint64_t count, uint64_t expected) {
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

void DigestTable::insert_all(const DigestTable& other) {
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

void DigestTable::insert_batch(const uint64_t* digests, size_t count) {
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

void DigestTable::clear() {
    std::fill(slots_.begin(), slots_.end(), 0);
    count_ = 0;
}

void DigestTable::place(uint64_t h) {
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

void UnitLines::expect(size_t lines) {
    reserve_rounded(fresh_, lines);
    if (fresh_.empty() && table_.count() == 0) size_filter(lines);
}

bool UnitLines::table_contains(uint64_t h) {
    table_.reserve(table_.count() + fresh_.size(), 0);
    table_.insert_batch(fresh_.data(), fresh_.size());
    fresh_.clear();
    return table_.contains(h);
}

void UnitLines::add(uint64_t h, uint32_t value) {
    if (unitFilter_.empty()) size_filter(1024);
    for (const size_t bit : filter_bits(value)) unitFilter_[bit / 64] |= uint64_t{1} << (bit % 64);
    fresh_.push_back(h);
    extend_range(value);
}

void UnitLines::clear(std::vector<LineRange>& ranges) {
    if (table_.count() != 0) table_.clear();
    fresh_.clear();
    std::fill(unitFilter_.begin(), unitFilter_.end(), 0);
    ranges.swap(ranges_);
    ranges_.clear();
}

void UnitLines::size_filter(size_t lines) {
    size_t bits = size_t{1} << 12;
    while (bits < 32 * lines && bits < (size_t{1} << 20)) bits *= 2;
    if (bits == filterMask_ + 1) return;  // cleared when the last unit ended
    unitFilter_.assign(bits / 64, 0);
    filterMask_ = bits - 1;
}

// By the allocated section holding `value`, or the one past the last.
void UnitLines::extend_range(uint32_t value) {
    const size_t n = sections_ ? sections_->size() : 0;
    size_t s = 0;
    while (s < n && !(value >= (*sections_)[s].low && value < (*sections_)[s].high)) ++s;
    if (s >= ranges_.size()) ranges_.resize(s + 1, LineRange{UINT64_MAX, 0});
    ranges_[s].low = std::min<uint64_t>(ranges_[s].low, value);
    ranges_[s].high = std::max<uint64_t>(ranges_[s].high, value);
}

bool EarlierLines::contains(uint64_t h, uint32_t value) {
    if (!in_ranges(value)) return false;
    flush_pending();
    return all_.contains(h);
}

bool EarlierLines::meets(const std::vector<LineRange>& ranges) const {
    for (const LineRange& r : ranges) {
        if (r.low > r.high) continue;  // no line in that section
        auto it = std::lower_bound(ranges_.begin(), ranges_.end(), r.low,
                                   [](const LineRange& e, uint64_t low) { return e.high < low; });
        if (it != ranges_.end() && it->low <= r.high) return true;
    }
    return false;
}

void EarlierLines::add(uint64_t h) {
    if (all_.count() == 0) {
        // Kept in a plain list until a unit's lines first fall inside an
        // earlier unit's ranges, which in a usual link never happens.
        if (pending_.empty()) pending_.reserve(static_cast<size_t>(std::min<uint64_t>(expected_, 1u << 24)));
        pending_.push_back(h);
    } else {
        all_.reserve(all_.count() + 1, expected_);
        all_.insert(h);
    }
}

void EarlierLines::add_ranges(const std::vector<LineRange>& ranges) {
    for (const LineRange& r : ranges) add_range(r);
}

void EarlierLines::take(UnitLines& unit) {
    flush_pending();
    all_.reserve(all_.count() + unit.count(), expected_);
    all_.insert_all(unit.table_);
    all_.insert_batch(unit.fresh_.data(), unit.fresh_.size());
    unit.clear(unitRanges_);
    add_ranges(unitRanges_);
}

void EarlierLines::add_range(const LineRange& r) {
    if (r.low > r.high) return;  // no line in that section
    LineRange merged = r;
    auto first = std::lower_bound(ranges_.begin(), ranges_.end(), r.low,
                                  [](const LineRange& e, uint64_t low) { return e.high < low; });
    auto last = first;
    for (; last != ranges_.end() && last->low <= r.high; ++last) {
        merged.low = std::min(merged.low, last->low);
        merged.high = std::max(merged.high, last->high);
    }
    *ranges_.insert(ranges_.erase(first, last), merged) = merged;
}

bool EarlierLines::in_ranges(uint32_t value) const {
    auto it = std::lower_bound(ranges_.begin(), ranges_.end(), uint64_t{value},
                               [](const LineRange& e, uint64_t v) { return e.high < v; });
    return it != ranges_.end() && it->low <= value;
}

void EarlierLines::flush_pending() {
    if (pending_.empty()) return;
    all_.reserve(all_.count() + pending_.size(), expected_);
    for (uint64_t d : pending_) all_.insert(d);
    pending_ = std::vector<uint64_t>();
}

}  // namespace dravont
