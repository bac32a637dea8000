// A tiny emitter of DWARF values (fixed-size numbers in one byte order,
// LEB128, strings) for tests that build sections byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_reader.h"

namespace dwarf_test {

using Bytes = std::vector<uint8_t>;

class Emitter {
public:
    explicit Emitter(dravont::ByteOrder order) : order_(order) {}

    Emitter& u8(uint64_t v) { return fixed(v, 1); }
    Emitter& u16(uint64_t v) { return fixed(v, 2); }
    Emitter& u32(uint64_t v) { return fixed(v, 4); }
    Emitter& fixed(uint64_t v, unsigned n) {
        for (unsigned k = 0; k < n; ++k) {
            const unsigned shift = 8 * (order_ == dravont::ByteOrder::Big ? n - 1 - k : k);
            bytes.push_back(static_cast<uint8_t>(v >> shift));
        }
        return *this;
    }
    Emitter& uleb(uint64_t v) {
        do {
            const uint8_t low = v & 0x7f;
            v >>= 7;
            bytes.push_back(static_cast<uint8_t>(low | (v ? 0x80 : 0)));
        } while (v);
        return *this;
    }
    Emitter& sleb(int64_t v) {
        for (bool more = true; more;) {
            const uint8_t low = static_cast<uint8_t>(static_cast<uint64_t>(v) & 0x7f);
            v >>= 7;  // arithmetic shift on every compiler we build with
            more = !((v == 0 && !(low & 0x40)) || (v == -1 && (low & 0x40)));
            bytes.push_back(static_cast<uint8_t>(low | (more ? 0x80 : 0)));
        }
        return *this;
    }
    Emitter& str(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
        return *this;
    }
    Emitter& raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }

    dravont::ByteOrder order() const { return order_; }

    Bytes bytes;

private:
    dravont::ByteOrder order_;
};

// A section over `b` as the readers see one: at file offset 0x400 of a file
// of `fileSize` bytes.
inline dravont::ByteSpan span_of(const Bytes& b, const char* name, uint64_t fileSize) {
    dravont::ByteSpan s;
    s.data = b.data();
    s.size = b.size();
    s.fileOffset = 0x400;
    s.fileSize = fileSize;
    s.name = name;
    s.present = true;
    return s;
}

}  // namespace dwarf_test
