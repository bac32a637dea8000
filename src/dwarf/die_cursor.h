// A cursor over the attribute values of DIEs, for the abbreviation plans:
// reads straight from the span without an exception on the way, and keeps
// its first failure (what failed and the offset where ByteReader would have
// failed, reading value by value) until raise() throws it as
// MalformedInput. After a failure the cursor holds no more data, so later
// reads fail too and leave the first failure as it is.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/byte_reader.h"
#include "common/leb128.h"

namespace dravont {

class DieCursor {
public:
    DieCursor(const ByteSpan& span, ByteOrder order, uint64_t position)
        : span_(&span), p_(span.data + position), end_(span.data + span.size), big_(order == ByteOrder::Big) {}

    // Where the next read starts, as an offset into the span.
    uint64_t position() const { return static_cast<uint64_t>(p_ - span_->data); }
    bool failed() const { return what_ != nullptr; }
    // The first failure: ByteReader's wording ("data", "unterminated
    // string", ...) and the offset into the span.
    const char* failure() const { return what_; }
    uint64_t failure_position() const { return failedAt_; }
    // Throws the first failure, named as ByteReader names its failures.
    // (The cursor's fields go by value, so that it can live in registers.)
    [[noreturn, gnu::always_inline]] void raise() const { raise_failure(*span_, big_, what_, failedAt_); }
    // Records a failure at `position`, unless one is kept already, and
    // empties the cursor. Returns false, for the reads that fail with it.
    bool fail(const char* what, uint64_t position) {
        if (!what_) {
            what_ = what;
            failedAt_ = position;
        }
        p_ = end_;
        return false;
    }

    bool has(uint64_t n) const { return n <= static_cast<uint64_t>(end_ - p_); }

    // N bytes in the span's byte order. A short 3-byte value fails at the
    // data's end, where a byte-by-byte read of it fails.
    template <unsigned N>
    bool fixed(uint64_t& v) {
        if (!has(N)) return fail("data", N == 3 ? size() : position());
        v = 0;
        if (big_) {
            for (unsigned i = 0; i < N; ++i) v = v << 8 | p_[i];
        } else {
            for (unsigned i = N; i-- > 0;) v = v << 8 | p_[i];
        }
        p_ += N;
        return true;
    }
    // An address or offset of 1, 2, 4 or 8 bytes.
    bool sized(uint8_t bytes, uint64_t& v) {
        switch (bytes) {
            case 1: return fixed<1>(v);
            case 2: return fixed<2>(v);
            case 4: return fixed<4>(v);
            case 8: return fixed<8>(v);
            default: return fail("value size", position());
        }
    }
    bool skip(uint64_t n) {
        if (!has(n)) return fail("data", position());
        p_ += n;
        return true;
    }
    // `length` bytes of a block: where they start.
    bool block(uint64_t length, const uint8_t*& data) {
        if (!has(length)) return fail("data", position());
        data = p_;
        p_ += length;
        return true;
    }
    bool uleb(uint64_t& v) {
        // Most values take one byte.
        if (p_ != end_ && *p_ < 0x80) {
            v = *p_++;
            return true;
        }
        return leb(decode_uleb(p_, end_, v));
    }
    bool sleb(uint64_t& v) { return leb(decode_sleb(p_, end_, v)); }
    bool cstr(std::string_view& text) {
        const void* nul = std::memchr(p_, 0, static_cast<size_t>(end_ - p_));
        if (!nul) return fail("unterminated string", position());
        const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p_);
        text = std::string_view(reinterpret_cast<const char*>(p_), length);
        p_ += length + 1;
        return true;
    }

private:
    [[noreturn]] static void raise_failure(const ByteSpan& span, bool big, const char* what, uint64_t position);
    uint64_t size() const { return span_->size; }
    bool leb(LebStatus status) {
        if (status == LebStatus::Ok) return true;
        return fail(leb_failure(status), status == LebStatus::Truncated ? size() : position());
    }

    const ByteSpan* span_;
    const uint8_t* p_;
    const uint8_t* end_;
    bool big_;
    const char* what_ = nullptr;
    uint64_t failedAt_ = 0;
};

}  // namespace dravont
