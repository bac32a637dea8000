// A fast 64-bit hash of byte strings for the in-memory lookup tables of a
// run (the symbol-name filter, the written-line digests). Its values depend
// on the host's byte order and are never stored or compared across runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace dravont {

// The finishing step of MurmurHash3: every input bit reaches every output bit.
inline uint64_t mix64(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdu;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53u;
    h ^= h >> 33;
    return h;
}

// Eight bytes at a time, each word folded in by a multiply; the tail is
// gathered into one shorter word.
inline uint64_t hash_bytes(std::string_view s, uint64_t seed) {
    const char* p = s.data();
    size_t n = s.size();
    uint64_t h = seed ^ (n * 0x9e3779b97f4a7c15u);
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdu;
        h ^= h >> 32;
    }
    if (n > 0) {
        uint64_t w = 0;
        for (size_t i = 0; i < n; ++i) w |= uint64_t{static_cast<uint8_t>(p[i])} << (8 * i);
        h = (h ^ w) * 0xff51afd7ed558ccdu;
        h ^= h >> 32;
    }
    return mix64(h);
}

}  // namespace dravont
