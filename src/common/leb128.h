// The LEB128 decoder: unsigned and signed values over raw bytes, for
// ByteReader and for the DIE cursor, which read them the same way and so
// fail at the same places.
#pragma once

#include <cstdint>

namespace dravont {

enum class LebStatus : uint8_t {
    Ok,
    Truncated,  // the data ends inside the value: the read fails at the end
    TooLong,    // more than ten bytes: fails at the value's start
    TooLarge,   // the bits do not fit in 64: fails at the value's start
};

// Decodes the value at `p` (before `end`) into `value` and moves `p` past
// it; on failure leaves both as they were. A value longer than ten bytes,
// or an unsigned one whose bits do not fit in 64, is malformed: compilers
// never write one. The checks run in the order a byte-by-byte reader meets
// them, so a status names the failure such a reader would report.
inline LebStatus decode_uleb(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
    uint64_t v = 0;
    const uint8_t* q = p;
    for (unsigned shift = 0;; shift += 7) {
        if (shift >= 70) return LebStatus::TooLong;
        if (q == end) return LebStatus::Truncated;
        const uint8_t byte = *q++;
        const uint64_t bits = byte & 0x7F;
        if (shift == 63 && bits > 1) return LebStatus::TooLarge;
        v |= bits << shift;  // shift is at most 63 here
        if ((byte & 0x80) == 0) break;
    }
    p = q;
    value = v;
    return LebStatus::Ok;
}

// The same for a signed value, returned as its two's complement bits; bits
// past the 64th are dropped, as the value's sign already gives them.
inline LebStatus decode_sleb(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
    uint64_t v = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    const uint8_t* q = p;
    do {
        if (shift >= 70) return LebStatus::TooLong;
        if (q == end) return LebStatus::Truncated;
        byte = *q++;
        if (shift < 64) v |= uint64_t{byte & 0x7Fu} << shift;
        shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) v |= ~uint64_t{0} << shift;
    p = q;
    value = v;
    return LebStatus::Ok;
}

// The message part for a failed status ("LEB128 value too long", ...).
inline const char* leb_failure(LebStatus status) {
    switch (status) {
        case LebStatus::TooLong: return "LEB128 value too long";
        case LebStatus::TooLarge: return "LEB128 value too large";
        default: return "data";
    }
}

}  // namespace dravont
