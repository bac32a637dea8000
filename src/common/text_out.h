// Buffered text output with the few conversions the tool's formats need.
//
// Every line the tool prints or writes is made of fixed texts, upper-case
// hexadecimal numbers, decimal numbers and left-justified string fields.
// Formatting them by hand into one large buffer is much faster than one
// printf call per field, which matters for the hex dumps of large inputs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/messages.h"

namespace dravont {

class Diagnostics;
struct Diagnostic;

// Two digits at a time: "000102...FF" and "000102...99".
struct DigitPairs {
    char hex[512]{};
    char decimal[200]{};
    constexpr DigitPairs() {
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) hex[2 * b] = kDigits[b >> 4], hex[2 * b + 1] = kDigits[b & 0xF];
        for (int d = 0; d < 100; ++d) {
            decimal[2 * d] = static_cast<char>('0' + d / 10);
            decimal[2 * d + 1] = static_cast<char>('0' + d % 10);
        }
    }
};
inline constexpr DigitPairs kDigitPairs{};

// Eight upper-case hex digits of `value` at p ("%08X"), two a byte from the
// table.
inline void put_hex8(char* p, uint32_t value) {
    for (int i = 3; i >= 0; --i, value >>= 8) std::memcpy(p + 2 * i, kDigitPairs.hex + 2 * (value & 0xFF), 2);
}

// `value` right-aligned with blanks in the five characters at p ("%5u");
// the value must be below 100000. The field is made in a local buffer
// first: a store through p could alias anything, a local one lets the
// compiler keep its values in registers.
inline void put_dec5(char* p, uint32_t value) {
    char field[5];
    std::memcpy(field, "     ", 5);
    char* q = field + 5;
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
    std::memcpy(p, field, 5);
}

class TextOut {
public:
    // With a target, the buffer is written to it in large blocks; without one
    // everything stays in memory (tests, fuzzing, in-process runs).
    explicit TextOut(std::FILE* target = nullptr);
    ~TextOut();
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    TextOut& put(char c) {
        *room(1) = c;
        ++size_;
        return *this;
    }
    TextOut& put(std::string_view s) {
        if (s.empty()) return *this;  // an empty view may hold null
        std::memcpy(room(s.size()), s.data(), s.size());
        size_ += s.size();
        return *this;
    }
    // A Japanese message, in the encoding this output was set to.
    TextOut& put(const msg::Message& m) { return put(std::string_view(utf8_ ? m.utf8 : m.cp932)); }
    TextOut& put(const char* s) { return put(std::string_view(s)); }
    // Messages in UTF-8 rather than CP932 (chosen by the locale, --utf8 or --sjis).
    void set_utf8(bool on) { utf8_ = on; }
    bool utf8() const { return utf8_; }
    // The text of a message in this output's encoding.
    std::string_view text_of(const msg::Message& m) const { return utf8_ ? m.utf8 : m.cp932; }

    // Standard error beside this standard output, or none (in-process runs,
    // which print nothing there).
    void set_diagnostics(Diagnostics* d) { diagnostics_ = d; }
    Diagnostics* diagnostics() const { return diagnostics_; }
    // Puts the message that ends a failed run, and on standard error the
    // diagnostic that explains it.
    TextOut& put_failure(std::string_view text, const Diagnostic& d);
    // A warning on standard error only.
    void warn(const Diagnostic& d);

    // At least `digits` upper-case hex digits, zero-filled ("%0NX").
    TextOut& hex(uint64_t value, int digits) {
        if (digits == 8 && value <= 0xFFFFFFFFu) {  // addresses
            put_hex8(room(8), static_cast<uint32_t>(value));
            size_ += 8;
            return *this;
        }
        static const char kDigits[] = "0123456789ABCDEF";
        int n = 1;
        while (n < 16 && (value >> (4 * n)) != 0) ++n;
        if (n < digits) n = digits;
        char* p = room(static_cast<size_t>(n));
        for (int i = n - 1; i >= 0; --i, value >>= 4) p[i] = kDigits[value & 0xF];
        size_ += static_cast<size_t>(n);
        return *this;
    }
    // Decimal, right-aligned with blanks in at least `width` columns ("%Nu").
    TextOut& dec(uint64_t value, int width = 0) {
        // Line numbers and the like fit their field: written in place.
        if (width > 0 && width <= 8 && value < kFieldLimits[width]) {
            char* const p = room(static_cast<size_t>(width));
            char* q = p + width;
            for (uint32_t v = static_cast<uint32_t>(value);;) {
                if (v < 10) {
                    *--q = static_cast<char>('0' + v);
                    break;
                }
                q -= 2;
                std::memcpy(q, kDigitPairs.decimal + 2 * (v % 100), 2);
                if ((v /= 100) == 0) break;
            }
            while (q > p) *--q = ' ';
            size_ += static_cast<size_t>(width);
            return *this;
        }
        return decimal(value, width, ' ');
    }
    // Decimal, zero-filled to at least `width` digits ("%0Nu").
    TextOut& dec_zero(uint64_t value, int width) { return decimal(value, width, '0'); }
    // Signed decimal ("%d").
    TextOut& sdec(int64_t value);
    // Left-justified, blank-filled to `width`, cut after `precision` ("%-W.Ps").
    TextOut& left(std::string_view s, size_t width, size_t precision) {
        if (s.size() > precision) s = s.substr(0, precision);
        const size_t n = s.size() < width ? width : s.size();
        char* p = room(n);
        if (!s.empty()) std::memcpy(p, s.data(), s.size());  // an empty view may hold null
        std::memset(p + s.size(), ' ', n - s.size());
        size_ += n;
        return *this;
    }
    // Left-justified, blank-filled to at least `width`, never cut ("%-Ws").
    TextOut& left(std::string_view s, size_t width) { return left(s, width, s.size()); }

    // Room for n characters that the caller fills in place and then counts
    // with advance(n): a record of fixed layout is written through one local
    // pointer instead of field by field.
    char* reserve(size_t n) { return room(n); }
    void advance(size_t n) { size_ += n; }
    static constexpr uint32_t field_limit(int width) { return kFieldLimits[width]; }

    // Writes the buffer to the target. Returns false once any write failed.
    bool flush();
    // The same, and the target's own buffer handed to the system too: what
    // was put is in the file before anything that follows on another stream.
    bool sync();
    // The errno value of the first write that failed (0: none, or unknown).
    int error() const { return error_; }
    // Writes `s` straight to the target after the buffer, without copying
    // it into the buffer first (without a target: the same as put).
    TextOut& put_through(std::string_view s);
    bool failed() const { return failed_; }
    // True when nothing was written yet or the last byte written to the
    // target (or, without one, put) ends a line.
    bool ends_line() const {
        return size_ > 0 ? buffer_[size_ - 1] == '\n' : last_ == '\n';
    }

    // Everything written so far (only meaningful without a target).
    std::string_view text() const { return std::string_view(buffer_.get(), size_); }
    // The same, to change in place what was written.
    char* data() { return buffer_.get(); }
    std::string take();
    // Empties the buffer, keeping its memory (only meaningful without a target).
    void clear() { size_ = 0; }
    // Room for `n` characters in all, made now (only meaningful without a
    // target).
    void expect(size_t n) {
        if (capacity_ < n) make_room(n - size_);
    }

private:
    // Room for n more characters at the end of the buffer.
    char* room(size_t n) {
        if (capacity_ - size_ < n) make_room(n);
        return buffer_.get() + size_;
    }
    void make_room(size_t n);
    void write_out(const char* data, size_t n);
    TextOut& decimal(uint64_t value, int width, char fill);

    static constexpr uint32_t kFieldLimits[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    static constexpr size_t kBlock = 1 << 19;  // writes of half a megabyte: far fewer system calls than 64 KB
    std::unique_ptr<char[]> buffer_;
    size_t size_ = 0;
    size_t capacity_ = 0;
    std::FILE* target_;
    bool failed_ = false;
    char last_ = '\n';  // the last byte written to the target
    int error_ = 0;
    bool utf8_ = false;
    Diagnostics* diagnostics_ = nullptr;
};

}  // namespace dravont
