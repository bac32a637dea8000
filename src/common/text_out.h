// Buffered text output with the few conversions the tool's formats need.
//
// Every line the tool prints or writes is made of fixed texts, upper-case
// hexadecimal numbers, decimal numbers and left-justified string fields.
// Formatting them by hand into one large buffer is much faster than one
// printf call per field, which matters for the hex dumps of large inputs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace dravont {

class TextOut {
public:
    // With a target, the buffer is written to it in large blocks; without one
    // everything stays in memory (tests, fuzzing, in-process runs).
    explicit TextOut(std::FILE* target = nullptr);
    ~TextOut();
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    TextOut& put(char c) {
        buffer_.push_back(c);
        return *this;
    }
    TextOut& put(std::string_view s) {
        buffer_.append(s.data(), s.size());
        maybe_flush();
        return *this;
    }
    // At least `digits` upper-case hex digits, zero-filled ("%0NX").
    TextOut& hex(uint64_t value, int digits);
    // Decimal, right-aligned with blanks in at least `width` columns ("%Nu").
    TextOut& dec(uint64_t value, int width = 0);
    // Decimal, zero-filled to at least `width` digits ("%0Nu").
    TextOut& dec_zero(uint64_t value, int width);
    // Signed decimal ("%d").
    TextOut& sdec(int64_t value);
    // Left-justified, blank-filled to `width`, cut after `precision` ("%-W.Ps").
    TextOut& left(std::string_view s, size_t width, size_t precision);
    // Left-justified, blank-filled to at least `width`, never cut ("%-Ws").
    TextOut& left(std::string_view s, size_t width) { return left(s, width, s.size()); }

    // Writes the buffer to the target. Returns false once any write failed.
    bool flush();
    bool failed() const { return failed_; }

    // Everything written so far (only meaningful without a target).
    const std::string& text() const { return buffer_; }
    std::string take();

private:
    void maybe_flush() {
        if (target_ && buffer_.size() >= kFlushThreshold) flush();
    }

    static constexpr size_t kFlushThreshold = 1 << 16;
    std::string buffer_;
    std::FILE* target_;
    bool failed_ = false;
};

}  // namespace dravont
