#include "common/text_out.h"

namespace dravont {

TextOut::TextOut(std::FILE* target) : target_(target) {
    if (target_) buffer_.reserve(kFlushThreshold * 2);
}

TextOut::~TextOut() { flush(); }

TextOut& TextOut::hex(uint64_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    char tmp[16];
    int n = 0;
    do {
        tmp[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int i = n; i < digits; ++i) buffer_.push_back('0');
    while (n > 0) buffer_.push_back(tmp[--n]);
    maybe_flush();
    return *this;
}

static int to_decimal(uint64_t value, char* tmp) {
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return n;
}

TextOut& TextOut::dec(uint64_t value, int width) {
    char tmp[24];
    int n = to_decimal(value, tmp);
    for (int i = n; i < width; ++i) buffer_.push_back(' ');
    while (n > 0) buffer_.push_back(tmp[--n]);
    maybe_flush();
    return *this;
}

TextOut& TextOut::dec_zero(uint64_t value, int width) {
    char tmp[24];
    int n = to_decimal(value, tmp);
    for (int i = n; i < width; ++i) buffer_.push_back('0');
    while (n > 0) buffer_.push_back(tmp[--n]);
    maybe_flush();
    return *this;
}

TextOut& TextOut::sdec(int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        buffer_.push_back('-');
        magnitude = 0 - magnitude;
    }
    return dec(magnitude);
}

TextOut& TextOut::left(std::string_view s, size_t width, size_t precision) {
    if (s.size() > precision) s = s.substr(0, precision);
    buffer_.append(s.data(), s.size());
    if (s.size() < width) buffer_.append(width - s.size(), ' ');
    maybe_flush();
    return *this;
}

bool TextOut::flush() {
    if (!target_ || buffer_.empty()) return !failed_;
    if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), target_) != buffer_.size()) {
        failed_ = true;
    }
    buffer_.clear();
    return !failed_;
}

std::string TextOut::take() {
    std::string result;
    result.swap(buffer_);
    return result;
}

}  // namespace dravont
