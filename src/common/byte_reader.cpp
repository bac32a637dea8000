#include "common/byte_reader.h"

#include <cstring>

namespace dravont {

void ByteReader::fail(std::string_view what, uint64_t position) const {
    std::string record(span_->name);
    if (!what.empty()) record.append(", ").append(what);
    throw MalformedInput(record, span_->fileOffset + position, span_->fileSize);
}

uint64_t ByteReader::uleb_long() {
    const uint64_t start = pos_;
    uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        if (shift >= 70) fail("LEB128 value too long", start);
        const uint8_t byte = u8();
        const uint64_t bits = byte & 0x7F;
        if (shift == 63 && bits > 1) fail("LEB128 value too large", start);
        if (shift < 64) value |= bits << shift;
        else if (bits != 0) fail("LEB128 value too large", start);
        if ((byte & 0x80) == 0) return value;
    }
}

int64_t ByteReader::sleb() {
    const uint64_t start = pos_;
    uint64_t value = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    do {
        if (shift >= 70) fail("LEB128 value too long", start);
        byte = u8();
        if (shift < 64) value |= uint64_t{byte & 0x7Fu} << shift;
        shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) value |= ~uint64_t{0} << shift;
    return static_cast<int64_t>(value);
}

std::string_view ByteReader::cstr() {
    const uint8_t* begin = span_->data + pos_;
    const void* nul = std::memchr(begin, 0, static_cast<size_t>(remaining()));
    if (!nul) fail("unterminated string", pos_);
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - begin);
    pos_ += length + 1;
    return std::string_view(reinterpret_cast<const char*>(begin), length);
}

std::string_view string_at(const ByteSpan& span, uint64_t offset, std::string_view what) {
    ByteReader reader(span, ByteOrder::Little);
    if (offset >= span.size) reader.fail(what, offset);
    reader.seek(offset);
    return reader.cstr();
}

}  // namespace dravont
