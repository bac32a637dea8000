#include "elf/symbol_index.h"

#include <algorithm>
#include <cstring>

#include "common/hash.h"

namespace dravont {

namespace {

constexpr uint32_t kSortedBucket = 16;   // larger buckets are sorted and searched
constexpr uint64_t kFilterBitsPerSymbol = 12;
constexpr uint64_t kBlockBits = 512;     // one cache line
constexpr unsigned kProbes = 6;          // bits set per pair

}  // namespace

void SymbolsByValue::build(const SymbolTableView& table) {
    built_ = true;
    uint32_t count = 0;
    uint32_t low = UINT32_MAX;
    uint32_t high = 0;
    for (uint32_t n = 1; n < table.count; ++n) {
        if (!table.names_an_address(n)) continue;
        const uint32_t v = table.value(n);
        low = std::min(low, v);
        high = std::max(high, v);
        ++count;
    }
    if (count == 0) return;
    // About two symbols a bucket where the values spread evenly.
    const uint64_t wanted = count / 2 + 1;
    shift_ = 0;
    while ((uint64_t{high - low} >> shift_) + 1 > wanted) ++shift_;
    lowest_ = low;
    const uint32_t buckets = static_cast<uint32_t>(uint64_t{high - low} >> shift_) + 1;
    auto bucket_of = [&](uint32_t n) { return static_cast<uint32_t>(uint64_t{table.value(n) - low} >> shift_); };

    // Counting sort: sizes, then starts, then the numbers in rising order;
    // placing advances each start to the next bucket's, so they move back.
    starts_.assign(size_t{buckets} + 1, 0);
    for (uint32_t n = 1; n < table.count; ++n) {
        if (table.names_an_address(n)) ++starts_[bucket_of(n) + 1];
    }
    for (uint32_t b = 0; b < buckets; ++b) starts_[b + 1] += starts_[b];
    numbers_.resize(count);
    for (uint32_t n = 1; n < table.count; ++n) {
        if (table.names_an_address(n)) numbers_[starts_[bucket_of(n)]++] = n;
    }
    for (uint32_t b = buckets; b > 0; --b) starts_[b] = starts_[b - 1];
    starts_[0] = 0;

    // Values bunched into few buckets (or a forged table) would make a
    // lookup walk a long bucket: those are sorted and searched instead.
    sorted_.assign(buckets, false);
    for (uint32_t b = 0; b < buckets; ++b) {
        if (starts_[b + 1] - starts_[b] <= kSortedBucket) continue;
        sorted_[b] = true;
        std::sort(numbers_.begin() + starts_[b], numbers_.begin() + starts_[b + 1], [&](uint32_t x, uint32_t y) {
            const uint32_t vx = table.value(x), vy = table.value(y);
            return vx != vy ? vx < vy : x < y;
        });
    }
}

const uint32_t* SymbolsByValue::lower_bound(const SymbolTableView& table, const uint32_t* first,
                                            const uint32_t* last, uint32_t value) {
    return std::lower_bound(first, last, value, [&](uint32_t n, uint32_t v) { return table.value(n) < v; });
}

uint64_t SymbolNameFilter::key(uint32_t value, std::string_view name) { return hash_bytes(name, value); }

std::string_view SymbolNameFilter::name_of(uint32_t n) const {
    const char* text = reinterpret_cast<const char*>(strings_.data + table_.name(n));
    return std::string_view(text, std::strlen(text));  // readable: a terminator follows
}

void SymbolNameFilter::build(const SymbolTableView& table, const ByteSpan& strings) {
    built_ = true;
    table_ = table;
    strings_ = strings;
    lastNul_ = strings.size;  // none: no name is readable
    for (uint64_t at = strings.size; at-- > 0;) {
        if (strings.data[at] == 0) {
            lastNul_ = at;
            break;
        }
    }
    leads_.assign(65536 / 64, 0);
    for (uint32_t n = 1; n < table.count; ++n) {
        if (!table.names_an_address(n)) continue;
        const uint64_t offset = table.name(n);
        if (!readable(offset)) {
            unreadable_.push_back(table.value(n));
            continue;
        }
        const uint8_t* text = strings.data + offset;
        const unsigned pair = text[0] == 0 ? 0 : unsigned{text[0]} << 8 | text[1];
        leads_[pair >> 6] |= uint64_t{1} << (pair & 63);
    }
    std::sort(unreadable_.begin(), unreadable_.end());
    unreadable_.erase(std::unique(unreadable_.begin(), unreadable_.end()), unreadable_.end());
}

void SymbolNameFilter::add(uint64_t k) const {
    uint64_t* block = words_.data() + (((k >> 32) * blocks_) >> 32) * 8;
    uint64_t bits = mix64(k);
    for (unsigned i = 0; i < kProbes; ++i, bits >>= 9) block[(bits >> 6) & 7] |= uint64_t{1} << (bits & 63);
}

void SymbolNameFilter::build_pairs() const {
    blocks_ = std::max<uint64_t>(1, (uint64_t{table_.count} * kFilterBitsPerSymbol + kBlockBits - 1) / kBlockBits);
    words_.assign(blocks_ * 8, 0);
    for (uint32_t n = 1; n < table_.count; ++n) {
        if (table_.names_an_address(n) && readable(table_.name(n))) add(key(table_.value(n), name_of(n)));
    }
}

bool SymbolNameFilter::may_hold(uint32_t value, std::string_view name) const {
    if (!unreadable_.empty() && std::binary_search(unreadable_.begin(), unreadable_.end(), value)) return true;
    const unsigned pair = lead(name);
    if (!(leads_[pair >> 6] & (uint64_t{1} << (pair & 63)))) return false;
    std::call_once(pairsBuilt_, [this] { build_pairs(); });
    const uint64_t k = key(value, name);
    const uint64_t* block = words_.data() + (((k >> 32) * blocks_) >> 32) * 8;
    uint64_t bits = mix64(k);
    for (unsigned i = 0; i < kProbes; ++i, bits >>= 9) {
        if (!(block[(bits >> 6) & 7] & (uint64_t{1} << (bits & 63)))) return false;
    }
    return true;
}

}  // namespace dravont
