// A bounded reader over one span of the input image, in either byte order.
//
// The ELF and DWARF decoders read everything through it: every read checks
// the span once, and a read past its end throws MalformedInput naming the
// span ("section .debug_info") and the file offset of the failed read. A
// span never reaches outside the image, so no read can either.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/leb128.h"
#include "common/run_error.h"

namespace dravont {

enum class ByteOrder : uint8_t { Big, Little };

// A piece of the image: its bytes, where it starts in the file, and a name
// for messages. An absent section is an empty span with present == false.
struct ByteSpan {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t fileOffset = 0;  // position of data[0] in the input file
    uint64_t fileSize = 0;    // size of the whole input file, for messages
    std::string_view name;    // "section .debug_info", "ELF header"
    bool present = false;

    bool contains(uint64_t offset, uint64_t length) const {
        return offset <= size && length <= size - offset;
    }
};

class ByteReader {
public:
    ByteReader(const ByteSpan& span, ByteOrder order, uint64_t position = 0)
        : span_(&span), order_(order), pos_(position) {
        if (position > span.size) fail("position", position);
    }

    const ByteSpan& span() const { return *span_; }
    ByteOrder order() const { return order_; }
    uint64_t position() const { return pos_; }
    uint64_t remaining() const { return span_->size - pos_; }

    void seek(uint64_t position) {
        if (position > span_->size) fail("position", position);
        pos_ = position;
    }
    void skip(uint64_t count) {
        if (count > remaining()) fail("data", pos_);
        pos_ += count;
    }

    uint8_t u8() {
        need(1);
        return span_->data[pos_++];
    }
    uint16_t u16() { return static_cast<uint16_t>(fixed(2)); }
    uint32_t u32() { return static_cast<uint32_t>(fixed(4)); }
    uint64_t u64() { return fixed(8); }
    // An unsigned value of 1, 2, 4 or 8 bytes (addresses, offsets).
    uint64_t sized(uint8_t bytes) {
        if (bytes != 1 && bytes != 2 && bytes != 4 && bytes != 8) fail("value size", pos_);
        return fixed(bytes);
    }

    // LEB128, as decode_uleb and decode_sleb (leb128.h) decode it.
    uint64_t uleb() {
        // Most values take one byte.
        if (pos_ < span_->size && span_->data[pos_] < 0x80) return span_->data[pos_++];
        return uleb_long();
    }
    int64_t sleb();

    // A NUL-terminated string inside the span; the terminator is consumed.
    std::string_view cstr();

    // Throws MalformedInput for the span at the given position, with `what`
    // added to the span's name.
    [[noreturn]] void fail(std::string_view what, uint64_t position) const;

private:
    uint64_t uleb_long();
    [[noreturn]] void fail_leb(LebStatus status) const;
    void need(uint64_t n) const {
        if (n > span_->size - pos_) fail("data", pos_);
    }
    uint64_t fixed(unsigned n) {
        need(n);
        const uint8_t* p = span_->data + pos_;
        pos_ += n;
        uint64_t v = 0;
        if (order_ == ByteOrder::Big) {
            for (unsigned i = 0; i < n; ++i) v = v << 8 | p[i];
        } else {
            for (unsigned i = n; i-- > 0;) v = v << 8 | p[i];
        }
        return v;
    }

    const ByteSpan* span_;
    ByteOrder order_;
    uint64_t pos_;
};

// A string at `offset` of a string section (.debug_str, .debug_line_str,
// .strtab): the offset and its terminator must lie inside the span.
std::string_view string_at(const ByteSpan& span, uint64_t offset, std::string_view what);

}  // namespace dravont
