// Lookups of an ELF symbol table by value, for tables of any size.
//
// The conversion asks, for every function and variable it writes, whether
// the symbol table holds a certain name at the entity's address; nearly
// always it does not. A filter of the table's (value, name) pairs answers
// those questions; what it lets through, and every question for all the
// names at a value, goes to the table itself through an index of symbol
// numbers bucketed by value.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "common/byte_reader.h"
#include "elf/elf_records.h"

namespace dravont {

// The raw symbol table: entry n at data + 16 * n, in the file's byte order.
struct SymbolTableView {
    const uint8_t* data = nullptr;
    uint32_t count = 0;  // entries, the null symbol 0 included
    ByteOrder order = ByteOrder::Big;

    uint32_t word(uint32_t n, unsigned at) const {
        const uint8_t* p = data + uint64_t{n} * kElfSymbolSize + at;
        return order == ByteOrder::Big ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                                       : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
    uint32_t name(uint32_t n) const { return word(n, 0); }
    uint32_t value(uint32_t n) const { return word(n, 4); }
    // File, section and undefined symbols have values that are no addresses
    // of code or data.
    bool names_an_address(uint32_t n) const {
        const uint8_t* p = data + uint64_t{n} * kElfSymbolSize;
        const uint8_t type = p[12] & 0xF;                 // ELF32_ST_TYPE(st_info)
        const bool undefined = p[14] == 0 && p[15] == 0;  // st_shndx == SHN_UNDEF in either order
        return type != STT_SECTION && type != STT_FILE && !undefined;
    }
};

// A symbol that names a function: its name, value and size.
struct FunctionSymbol {
    std::string_view name;
    uint32_t value = 0;
    uint32_t size = 0;
};

// The symbols naming an address (symbol 0 left out), by value: a counting
// sort into buckets of nearby values, symbol numbers rising within a bucket.
// About 6 bytes a symbol.
class SymbolsByValue {
public:
    bool built() const { return built_; }
    void build(const SymbolTableView& table);
    // Calls visit(n) for each symbol n at `value`, by rising number, until it
    // returns true.
    template <typename Visit>
    void visit(const SymbolTableView& table, uint32_t value, Visit&& visit) const {
        if (numbers_.empty() || value < lowest_) return;
        const uint64_t bucket = uint64_t{value - lowest_} >> shift_;
        if (bucket >= sorted_.size()) return;
        const uint32_t* first = numbers_.data() + starts_[bucket];
        const uint32_t* last = numbers_.data() + starts_[bucket + 1];
        if (sorted_[bucket]) first = lower_bound(table, first, last, value);
        for (; first != last; ++first) {
            if (table.value(*first) != value) {
                if (sorted_[bucket]) return;
                continue;
            }
            if (visit(*first)) return;
        }
    }

private:
    static const uint32_t* lower_bound(const SymbolTableView& table, const uint32_t* first,
                                       const uint32_t* last, uint32_t value);

    bool built_ = false;
    uint32_t lowest_ = 0;
    unsigned shift_ = 0;  // up to 32
    std::vector<uint32_t> starts_;   // per bucket, into numbers_; one more at the end
    std::vector<uint32_t> numbers_;  // symbol numbers, bucket after bucket
    std::vector<bool> sorted_;       // large buckets, sorted by (value, number)
};

// Which (value, name) pairs the symbols naming an address hold, answered
// without false "no": first by the first two characters of the name, which
// settles the usual question (a name without the label prefix, where every
// symbol has it) from an 8 KB bit set; then, for names whose first two
// characters some symbol shares, by a blocked Bloom filter of the pairs
// (about 12 bits a symbol, built when first needed), through which about one
// absent pair in a few hundred passes.
class SymbolNameFilter {
public:
    bool built() const { return built_; }
    // Symbols whose names cannot be read (offset past the string table or no
    // terminator before its end) are not counted; every question about their
    // values passes, so that the table itself reports them as it always has.
    void build(const SymbolTableView& table, const ByteSpan& strings);
    bool may_hold(uint32_t value, std::string_view name) const;
private:
    static unsigned lead(std::string_view name) {
        const unsigned c0 = name.empty() ? 0 : static_cast<uint8_t>(name[0]);
        const unsigned c1 = name.size() < 2 ? 0 : static_cast<uint8_t>(name[1]);
        return c0 << 8 | c1;
    }
    static uint64_t key(uint32_t value, std::string_view name);
    void add(uint64_t key) const;
    void build_pairs() const;
    // The name of symbol n, which must be readable.
    std::string_view name_of(uint32_t n) const;
    bool readable(uint64_t offset) const { return offset <= lastNul_ && lastNul_ < strings_.size; }

    bool built_ = false;
    SymbolTableView table_;
    ByteSpan strings_;
    uint64_t lastNul_ = 0;  // the string table's last terminator; past it no name ends
    std::vector<uint64_t> leads_;  // bit set of first two characters
    std::vector<uint32_t> unreadable_;  // sorted values of symbols with unreadable names
    // The Bloom filter: blocks of 8 words, built by the first question that
    // needs it (whichever thread asks it).
    mutable std::once_flag pairsBuilt_;
    mutable std::vector<uint64_t> words_;
    mutable uint64_t blocks_ = 0;
};

}  // namespace dravont
