// The input file held whole in memory, the bounded big-endian readers over
// it, and the loader with its two debug dumps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "coff/byte_buffer.h"
#include "coff/mapped_file.h"

namespace dravont {

struct RunState;

struct InputImage {
    ByteBuffer bytes;                    // the image when read or built in memory
    std::unique_ptr<MappedFile> mapped;  // the image when the file is mapped instead

    void assign(const std::vector<uint8_t>& source) {
        mapped.reset();
        bytes.assign(source.begin(), source.end());
    }

    const uint8_t* data() const { return mapped ? mapped->data() : bytes.data(); }
    uint64_t size() const { return mapped ? mapped->size() : bytes.size(); }
    // True when the mapped file shrank while it was read: the bytes past its
    // new end read as zeros, and the run must not stand.
    bool changed() const { return mapped && mapped->changed(); }
    // True when [offset, offset + length) lies inside the image; written so
    // that no sum can overflow.
    bool contains(uint64_t offset, uint64_t length) const {
        return offset <= size() && length <= size() - offset;
    }
};

constexpr uint64_t kNoIndex = ~uint64_t{0};

// The single bounds check of the decoders: throws MalformedInput naming the
// record ("symbol 12", "section header 3") when it does not lie wholly inside
// the image.
[[noreturn]] void throw_malformed(const InputImage& image, uint64_t offset, std::string_view record,
                                  uint64_t index);

inline void require_in_image(const InputImage& image, uint64_t offset, uint64_t length,
                             std::string_view record, uint64_t index = kNoIndex) {
    if (!image.contains(offset, length)) throw_malformed(image, offset, record, index);
}

// Unsigned big-endian values at any byte position. A position outside the
// image throws MalformedInput; decoders check their record first, so this is
// the last line of defence, not the usual path.
[[noreturn]] void throw_outside_image(const InputImage& image, uint64_t position, uint64_t length);

inline uint16_t read_be16(const InputImage& image, uint64_t position) {
    if (!image.contains(position, 2)) throw_outside_image(image, position, 2);
    const uint8_t* p = image.data() + position;
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

inline uint32_t read_be32(const InputImage& image, uint64_t position) {
    if (!image.contains(position, 4)) throw_outside_image(image, position, 4);
    const uint8_t* p = image.data() + position;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// Throws MalformedInput when the image changed while it was read.
void check_unchanged(const InputImage& image);

// Reasons load_image gives beside errno values: the name leads (through any
// symbolic links) to something other than a regular file, which is never
// read (a FIFO would block, a device never end).
constexpr int kInputIsFifo = -1;
constexpr int kInputIsDevice = -2;
constexpr int kInputIsSocket = -3;
constexpr int kInputIsOther = -4;

// The text of a reason load_image gave: the system's for an errno value.
std::string open_failure_reason(int openError);

// Reads the file named by state.inputName into state.image (a regular file
// is mapped where the platform allows it). Returns 0 when
// the file was read (an empty file included), -1 when it cannot be opened
// or is no regular file (nothing printed; *openError, when given, receives
// the reason: an errno value, EISDIR for a directory, or one of the
// kInputIs... values above). The file is opened without waiting, so that a
// FIFO without a writer is refused rather than waited for. In debug mode
// prints the file dump and the memory dump.
int16_t load_image(RunState& state, int* openError = nullptr);

// The character shown for byte c in a dump's text column: c itself for
// 0x20-0x7F and 0xA0-0xDF (half-width katakana in Shift_JIS), "." otherwise.
char printable_char(int c);

}  // namespace dravont
