#include "common/byte_reader.h"

#include <cstring>

namespace dravont {

void ByteReader::fail(std::string_view what, uint64_t position) const {
    std::string record(span_->name);
    if (!what.empty()) record.append(", ").append(what);
    throw MalformedInput(record, span_->fileOffset + position, span_->fileSize);
}

void ByteReader::fail_leb(LebStatus status) const {
    // A truncated value fails where the data ends, as a byte-by-byte read would.
    fail(leb_failure(status), status == LebStatus::Truncated ? span_->size : pos_);
}

uint64_t ByteReader::uleb_long() {
    const uint8_t* p = span_->data + pos_;
    uint64_t value = 0;
    const LebStatus status = decode_uleb(p, span_->data + span_->size, value);
    if (status != LebStatus::Ok) fail_leb(status);
    pos_ = static_cast<uint64_t>(p - span_->data);
    return value;
}

int64_t ByteReader::sleb() {
    const uint8_t* p = span_->data + pos_;
    uint64_t value = 0;
    const LebStatus status = decode_sleb(p, span_->data + span_->size, value);
    if (status != LebStatus::Ok) fail_leb(status);
    pos_ = static_cast<uint64_t>(p - span_->data);
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
