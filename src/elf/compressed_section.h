// Compressed sections: how a section's bytes are stored, and inflating them.
//
// Two layouts exist. A section with SHF_COMPRESSED starts with an Elf32_Chdr
// (ch_type, ch_size, ch_addralign, in the file's byte order) followed by a
// zlib stream (ELFCOMPRESS_ZLIB) or a zstd frame (ELFCOMPRESS_ZSTD); that is
// what `gcc -gz` and `ld --compress-debug-sections=zlib|zstd` write. The
// older GNU layout names the section .zdebug_* and starts it with "ZLIB" and
// the uncompressed size as 8 big-endian bytes, then a zlib stream
// (`--compress-debug-sections=zlib-gnu`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_reader.h"

namespace dravont {

constexpr uint32_t ELFCOMPRESS_ZLIB = 1;
constexpr uint32_t ELFCOMPRESS_ZSTD = 2;
constexpr uint32_t kElfCompressionHeaderSize = 12;  // Elf32_Chdr
constexpr uint32_t kGnuCompressionHeaderSize = 12;  // "ZLIB" and a 64-bit size

// A forged header must not make the tool allocate what the data cannot
// fill. Deflate cannot expand its input more than 1032 times (one 258-byte
// match per two bits at best), so a zlib stream declaring more is refused
// before anything is allocated. zstd has no such bound worth the name (a
// section of alike strings compresses well over a thousand times), so a
// zstd frame is held to the size its own header gives, which must be the
// declared size. Inflated sections together stay under a hard cap, checked
// on the declared sizes of all compressed sections before the first is
// inflated: a large file of highly compressible junk never takes more
// memory than a real program's DWARF needs (an executable for these 32-bit
// targets has at most tens of megabytes of it).
constexpr uint64_t kMaxInflationRatio = 1032;
constexpr uint64_t kMaxInflatedTotal = uint64_t{1} << 30;

enum class Compression : uint8_t { None, Zlib, Zstd, ZlibGnu };

struct CompressionHeader {
    Compression kind = Compression::None;
    uint64_t size = 0;          // declared uncompressed size
    uint64_t streamOffset = 0;  // where the compressed data starts in the section
};

// True for the compressed data of the zlib, zstd or GNU layout above.
bool is_compressed_section(uint32_t flags, std::string_view name);

// Reads the header at the start of a compressed section's bytes. `raw` is the
// section as stored, named by the section. An unknown ch_type, a header
// shorter than its layout, or a .zdebug_ section without "ZLIB" is malformed
// input.
CompressionHeader read_compression_header(const ByteSpan& raw, ByteOrder order, bool gnu);

// The name of a compression for listings: "zlib", "zstd", "zlib-gnu".
const char* compression_name(Compression kind);

// True when this build reads zstd (it was built with libzstd).
bool zstd_supported();

// Throws MalformedInput, named by the section, when its declared size
// takes `declaredBefore` (what the sections before it declare or took) past
// kMaxInflatedTotal.
void check_inflated_total(const ByteSpan& raw, const CompressionHeader& header, uint64_t declaredBefore);

// The inflated bytes of a section. The buffer is not cleared before the
// stream fills it, so that memory a forged header asks for is not touched
// unless the data really inflates that far.
struct InflatedBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

// Inflates the stream after the header into exactly header.size bytes; bytes
// after the end of the stream are ignored. `inflatedSoFar` is what earlier
// sections of the file took, for the cap. A declared size above the bounds,
// a zstd frame whose header gives another size, a corrupt stream, one that
// ends before its end marker, or one that inflates to another size is
// malformed input, named "compressed section NAME" with the position in the
// inflated data where one is known. Needs zstd_supported() for
// Compression::Zstd.
InflatedBytes inflate_section(const ByteSpan& raw, const CompressionHeader& header, uint64_t inflatedSoFar);

}  // namespace dravont
