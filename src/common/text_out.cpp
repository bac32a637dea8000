#include "common/text_out.h"

namespace dravont {

TextOut::TextOut(std::FILE* target) : target_(target) {}

TextOut::~TextOut() { flush(); }

void TextOut::make_room(size_t n) {
    // Towards a file, full blocks go out first; in memory the buffer grows.
    if (target_ && size_ > 0) flush();
    if (capacity_ - size_ >= n) return;
    size_t capacity = capacity_ ? capacity_ : (target_ ? kBlock : 4096);
    while (capacity - size_ < n) capacity *= 2;
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_ > 0) std::memcpy(bigger.get(), buffer_.get(), size_);
    buffer_ = std::move(bigger);
    capacity_ = capacity;
}

TextOut& TextOut::decimal(uint64_t value, int width, char fill) {
    // Two digits at a time from the right, from a table of "00" to "99".
    char tmp[20];
    char* q = tmp + sizeof tmp;
    while (value >= 100) {
        q -= 2;
        std::memcpy(q, kDigitPairs.decimal + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        q -= 2;
        std::memcpy(q, kDigitPairs.decimal + 2 * value, 2);
    } else {
        *--q = static_cast<char>('0' + value);
    }
    const int n = static_cast<int>(tmp + sizeof tmp - q);
    const int total = n < width ? width : n;
    char* p = room(static_cast<size_t>(total));
    std::memset(p, fill, static_cast<size_t>(total - n));
    std::memcpy(p + (total - n), q, static_cast<size_t>(n));
    size_ += static_cast<size_t>(total);
    return *this;
}

TextOut& TextOut::sdec(int64_t value) {
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        put('-');
        magnitude = 0 - magnitude;
    }
    return dec(magnitude);
}

TextOut& TextOut::put_failure(std::string_view text) {
    put(text);
    if (diagnostics_ && copyFailures_) {
        while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        diagnostics_->put(text).put('\n');
    }
    return *this;
}

bool TextOut::flush() {
    if (!target_ || size_ == 0) return !failed_;
    if (!failed_ && std::fwrite(buffer_.get(), 1, size_, target_) != size_) failed_ = true;
    size_ = 0;
    return !failed_;
}

std::string TextOut::take() {
    std::string result(buffer_.get() ? buffer_.get() : "", size_);
    size_ = 0;
    return result;
}

}  // namespace dravont
