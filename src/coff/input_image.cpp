#include "coff/input_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"

namespace dravont {

void throw_malformed(const InputImage& image, uint64_t offset, std::string_view record,
                     uint64_t index) {
    std::string name(record);
    if (index != kNoIndex) name += " " + std::to_string(index);
    throw MalformedInput(name, offset, image.size());
}

void throw_outside_image(const InputImage& image, uint64_t position, uint64_t) {
    throw_malformed(image, position, "data", kNoIndex);
}

void check_unchanged(const InputImage& image) {
    if (image.changed()) throw MalformedInput("file, which shrank while it was read,", image.size(), image.size());
}

char printable_char(int c) {
    if (c <= 0x1F) return '.';
    if (c <= 0x7F) return static_cast<char>(c);
    if (c <= 0x9F) return '.';
    if (c <= 0xDF) return static_cast<char>(c);
    return '.';
}

namespace {

constexpr char kDumpHeading[] =
    " Address +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n";
constexpr char kDumpRule[] = "----------------------------------------------------------\n";

// Reads the whole stream in large blocks. The size of a regular file serves
// as a hint, so that the image is normally filled by one read; the stream is
// still read to its end, and the image ends up holding exactly the bytes read.
void read_all(std::FILE* file, uint64_t sizeHint, ByteBuffer& bytes) {
    bytes.clear();
    size_t capacity = sizeHint + 1;  // one spare byte lets the read see the end
    if (capacity < 4096) capacity = 4096;
    bytes.resize(capacity);
    size_t used = 0;
    for (;;) {
        size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, file);
        used += got;
        if (used < bytes.size()) break;  // end of file, or a read error
        bytes.resize(bytes.size() * 2);
    }
    bytes.resize(used);
    if (bytes.capacity() - used > used / 8 + 4096) bytes.shrink_to_fit();
}

// One dump: rows of 16 bytes, each "XX " with the text column behind them.
// The file dump puts the row offset in brackets, the memory dump does not.
// The text column passes Shift_JIS half-width katakana through as bytes, or
// as their UTF-8 characters when the output is UTF-8; there DEL (0x7F), a
// control character on a UTF-8 terminal, shows as "." too.
void dump_rows(TextOut& out, const InputImage& image, bool brackets) {
    const bool utf8 = out.utf8();
    static const char kHex[] = "0123456789ABCDEF";
    const uint8_t* bytes = image.data();
    const uint64_t n = image.size();
    for (uint64_t row = 0; row < n; row += 16) {
        if (brackets) out.put('[');
        out.hex(row, 8);
        out.put(brackets ? "] " : " ");
        const uint64_t count = n - row < 16 ? n - row : 16;
        char line[16 * 3 + 2 + 16 * 3 + 2];
        size_t len = 0;
        for (uint64_t k = 0; k < count; ++k) {
            const uint8_t b = bytes[row + k];
            line[len++] = kHex[b >> 4];
            line[len++] = kHex[b & 0xF];
            line[len++] = ' ';
        }
        for (uint64_t k = count; k < 16; ++k) {
            line[len++] = ' ';
            line[len++] = ' ';
            line[len++] = ' ';
        }
        line[len++] = '|';
        line[len++] = ' ';
        for (uint64_t k = 0; k < count; ++k) {
            const uint8_t b = bytes[row + k];
            const char c = printable_char(b);
            if (utf8 && b == 0x7F) {
                line[len++] = '.';
            } else if (utf8 && b >= 0xA0 && b <= 0xDF) {
                // Half-width katakana U+FF61..U+FF9F; 0xA0 is no character in CP932.
                if (b == 0xA0) {
                    line[len++] = '.';
                    continue;
                }
                const unsigned cp = 0xFF61u + (b - 0xA1u);
                line[len++] = static_cast<char>(0xE0 | (cp >> 12));
                line[len++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                line[len++] = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                line[len++] = c;
            }
        }
        line[len++] = ' ';
        line[len++] = '\n';
        out.put(std::string_view(line, len));
    }
}

void print_dumps(RunState& state) {
    TextOut& out = state.out;
    out.put(msg::kFileDumpTitle).put(kDumpHeading);
    dump_rows(out, state.image, true);
    out.put(kDumpRule).put(msg::kLoadByteCount).dec(state.image.size()).put('\n');
    out.put(msg::kBlockEnd);
    out.put(msg::kMemoryDumpTitle).put(kDumpHeading);
    dump_rows(out, state.image, false);
    out.put(kDumpRule).put('\n');
}

}  // namespace

std::string open_failure_reason(int openError) {
    switch (openError) {
    case kInputIsFifo: return "not a regular file but a FIFO";
    case kInputIsDevice: return "not a regular file but a device";
    case kInputIsSocket: return "not a regular file but a socket";
    case kInputIsOther: return "not a regular file";
    default: return std::strerror(openError);
    }
}

namespace {

// Why a file of this status is no input, 0 when it is a regular file.
int not_regular_reason(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return 0;
    if (S_ISDIR(info.st_mode)) return EISDIR;
#if !defined(_WIN32)
    if (S_ISFIFO(info.st_mode)) return kInputIsFifo;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return kInputIsDevice;
    if (S_ISSOCK(info.st_mode)) return kInputIsSocket;
#else
    if ((info.st_mode & _S_IFMT) == _S_IFIFO) return kInputIsFifo;
    if ((info.st_mode & _S_IFMT) == _S_IFCHR) return kInputIsDevice;
#endif
    return kInputIsOther;
}

// Opens the input for reading, or gives the reason it cannot be read.
std::FILE* open_input(const std::string& name, int& reason) {
#if defined(_WIN32)
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        // Windows refuses to open a directory as "permission denied".
        struct stat info {};
        reason = stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : errno;
        return nullptr;
    }
#else
    // Anything but a regular file is refused before it is opened: opening
    // a device may act on it.
    struct stat named {};
    if (stat(name.c_str(), &named) == 0 && (reason = not_regular_reason(named)) != 0) return nullptr;
    // Without O_NONBLOCK, opening a FIFO (put there meanwhile) waits for a
    // writer, maybe for ever.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = errno;
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        reason = errno;
        ::close(fd);
        return nullptr;
    }
#endif
    struct stat opened {};
    reason = fstat(fileno(file), &opened) != 0 ? errno : not_regular_reason(opened);
    if (reason != 0) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

int16_t load_image(RunState& state, int* openError) {
    int reason = 0;
    std::FILE* file = open_input(state.inputName, reason);
    if (!file) {
        if (openError) *openError = reason;
        return -1;
    }
    struct stat info {};
    uint64_t sizeHint = 0;
    if (fstat(fileno(file), &info) == 0 && info.st_size > 0) sizeHint = static_cast<uint64_t>(info.st_size);
    state.image.mapped.reset();
    state.image.bytes.clear();
    if (sizeHint > 0) state.image.mapped = MappedFile::map(fileno(file), sizeHint);
    if (!state.image.mapped) read_all(file, sizeHint, state.image.bytes);
    std::fclose(file);
    if (state.debugMode) print_dumps(state);
    return 0;
}

}  // namespace dravont
