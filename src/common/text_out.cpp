#include "common/text_out.h"

#include <cerrno>

#include "common/diagnostics.h"

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

namespace {

// The digits of `value` ending at `end`, two at a time from a table of "00"
// to "99"; returns where they start. 32-bit arithmetic where it suffices.
template <typename Unsigned>
char* put_digits(Unsigned value, char* end) {
    while (value >= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100);
        value /= 100;
        end -= 2;
        end[0] = kDigitPairs.decimal[2 * pair];
        end[1] = kDigitPairs.decimal[2 * pair + 1];
    }
    if (value >= 10) {
        end -= 2;
        end[0] = kDigitPairs.decimal[2 * value];
        end[1] = kDigitPairs.decimal[2 * value + 1];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

}  // namespace

TextOut& TextOut::decimal(uint64_t value, int width, char fill) {
    static constexpr uint32_t kLimits[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    if (width > 0 && width <= 8 && value < kLimits[width]) {
        // As wide as the field: the digits go straight to their place.
        char* const p = room(static_cast<size_t>(width));
        for (char* q = put_digits(static_cast<uint32_t>(value), p + width); q > p;) *--q = fill;
        size_ += static_cast<size_t>(width);
        return *this;
    }
    char digits[20];
    char* const end = digits + sizeof digits;
    const char* first = value <= UINT32_MAX ? put_digits(static_cast<uint32_t>(value), end) : put_digits(value, end);
    const int n = static_cast<int>(end - first);
    const int total = n < width ? width : n;
    char* p = room(static_cast<size_t>(total));
    for (int i = 0; i < total - n; ++i) p[i] = fill;
    p += total - n;
    for (int i = 0; i < n; ++i) p[i] = first[i];
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

TextOut& TextOut::put_failure(std::string_view text, const Diagnostic& d) {
    put(text);
    if (diagnostics_) diagnostics_->failure(*this, d);
    return *this;
}

void TextOut::warn(const Diagnostic& d) {
    if (diagnostics_) diagnostics_->warning(*this, d);
}

bool TextOut::flush() {
    if (!target_ || size_ == 0) return !failed_;
    write_out(buffer_.get(), size_);
    size_ = 0;
    return !failed_;
}

TextOut& TextOut::put_through(std::string_view s) {
    if (!target_ || s.size() < kBlock) return put(s);
    flush();
    write_out(s.data(), s.size());
    return *this;
}

bool TextOut::sync() {
    flush();
    if (target_ && !failed_) {
        errno = 0;
        if (std::fflush(target_) != 0) {
            failed_ = true;
            error_ = errno;
        }
    }
    return !failed_;
}

void TextOut::write_out(const char* data, size_t n) {
    if (n > 0) last_ = data[n - 1];
    if (failed_) return;
    errno = 0;
    if (std::fwrite(data, 1, n, target_) != n) {
        failed_ = true;
        error_ = errno;
    }
}

std::string TextOut::take() {
    std::string result(buffer_.get() ? buffer_.get() : "", size_);
    size_ = 0;
    return result;
}

}  // namespace dravont
