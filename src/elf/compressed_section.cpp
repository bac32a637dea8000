#include "elf/compressed_section.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#define ZLIB_CONST
#include <zlib.h>
#ifdef DRAVONT_HAVE_ZSTD
#include <zstd.h>
#include <zstd_errors.h>
#endif

#include "common/run_error.h"

namespace dravont {

namespace {

constexpr std::string_view kGnuPrefix = ".zdebug_";

std::string record_of(const ByteSpan& raw, const std::string& what) {
    return std::string("compressed section ").append(raw.name).append(", ").append(what);
}

[[noreturn]] void malformed(const ByteSpan& raw, const std::string& what, uint64_t offsetInSection) {
    throw MalformedInput(record_of(raw, what), raw.fileOffset + offsetInSection, raw.fileSize);
}

// The size an inflation has reached, for the messages.
std::string at_inflated(uint64_t produced) { return " at inflated offset " + hex_text(produced); }

// The stream fills out[0, size]: one byte more than declared (see
// inflate_section).
void inflate_zlib(const ByteSpan& raw, const CompressionHeader& h, uint8_t* out, size_t outSize) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
    std::unique_ptr<z_stream, int (*)(z_stream*)> end(&z, inflateEnd);
    // Both fit zlib's 32-bit counts: sh_size is 32 bits, the output is capped.
    z.next_in = raw.data + h.streamOffset;
    z.avail_in = static_cast<uInt>(raw.size - h.streamOffset);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(outSize);
    int status;
    do status = inflate(&z, Z_NO_FLUSH);
    while (status == Z_OK);  // Z_OK means progress; none left gives Z_BUF_ERROR
    const uint64_t consumed = h.streamOffset + z.total_in;
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status == Z_STREAM_END) {
        if (z.total_out != h.size) {
            malformed(raw, "zlib stream inflates to " + hex_text(z.total_out) + " bytes, declared " +
                               hex_text(h.size), consumed);
        }
        return;
    }
    if (status != Z_BUF_ERROR) {
        malformed(raw, std::string("corrupt zlib stream (").append(z.msg ? z.msg : "no reason given") + ")" +
                           at_inflated(z.total_out), consumed);
    }
    if (z.avail_out == 0) malformed(raw, "zlib stream inflates past its declared size " + hex_text(h.size), consumed);
    malformed(raw, "zlib stream ends early" + at_inflated(z.total_out), consumed);
}

#ifdef DRAVONT_HAVE_ZSTD
// The frame's header names its content size (what ld and objcopy write): it
// must be the declared one, which is checked before anything is allocated.
// A frame that leaves it out is held to the declared size as it inflates.
void check_zstd_content_size(const ByteSpan& raw, const CompressionHeader& h) {
    const unsigned long long content =
        ZSTD_getFrameContentSize(raw.data + h.streamOffset, static_cast<size_t>(raw.size - h.streamOffset));
    // An unreadable frame header is reported by the inflation, with zstd's reason.
    if (content == ZSTD_CONTENTSIZE_UNKNOWN || content == ZSTD_CONTENTSIZE_ERROR) return;
    if (content != h.size) {
        malformed(raw, "zstd frame holds " + hex_text(content) + " bytes, declared " + hex_text(h.size),
                  h.streamOffset);
    }
}

void inflate_zstd(const ByteSpan& raw, const CompressionHeader& h, uint8_t* out, size_t outSize) {
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!context) throw std::bad_alloc();
    ZSTD_inBuffer in{raw.data + h.streamOffset, static_cast<size_t>(raw.size - h.streamOffset), 0};
    ZSTD_outBuffer o{out, outSize, 0};
    for (;;) {
        const size_t inBefore = in.pos, outBefore = o.pos;
        const size_t status = ZSTD_decompressStream(context.get(), &o, &in);
        const uint64_t consumed = h.streamOffset + in.pos;
        if (ZSTD_isError(status)) {
            if (ZSTD_getErrorCode(status) == ZSTD_error_memory_allocation) throw std::bad_alloc();
            malformed(raw, std::string("corrupt zstd stream (") + ZSTD_getErrorName(status) + ")" + at_inflated(o.pos),
                      consumed);
        }
        if (status == 0) {  // the frame is complete; what follows it is not read
            if (o.pos != h.size) {
                malformed(raw, "zstd stream inflates to " + hex_text(o.pos) + " bytes, declared " + hex_text(h.size),
                          consumed);
            }
            return;
        }
        if (o.pos == o.size) malformed(raw, "zstd stream inflates past its declared size " + hex_text(h.size), consumed);
        if (in.pos == inBefore && o.pos == outBefore) malformed(raw, "zstd stream ends early" + at_inflated(o.pos), consumed);
    }
}
#endif

}  // namespace

bool is_compressed_section(uint32_t flags, std::string_view name) {
    constexpr uint32_t kShfCompressed = 0x800;
    return (flags & kShfCompressed) || name.substr(0, kGnuPrefix.size()) == kGnuPrefix;
}

CompressionHeader read_compression_header(const ByteSpan& raw, ByteOrder order, bool gnu) {
    CompressionHeader h;
    if (gnu) {
        if (!raw.contains(0, 4) || std::string_view(reinterpret_cast<const char*>(raw.data), 4) != "ZLIB") {
            malformed(raw, "no \"ZLIB\" header", 0);
        }
        if (!raw.contains(0, kGnuCompressionHeaderSize)) malformed(raw, "header shorter than 12 bytes", 0);
        ByteReader r(raw, ByteOrder::Big, 4);
        h.kind = Compression::ZlibGnu;
        h.size = r.u64();
        h.streamOffset = kGnuCompressionHeaderSize;
        return h;
    }
    if (!raw.contains(0, kElfCompressionHeaderSize)) malformed(raw, "header shorter than 12 bytes", 0);
    ByteReader r(raw, order);
    const uint32_t type = r.u32();
    if (type == ELFCOMPRESS_ZLIB) h.kind = Compression::Zlib;
    else if (type == ELFCOMPRESS_ZSTD) h.kind = Compression::Zstd;
    else malformed(raw, "unknown compression type " + hex_text(type), 0);
    h.size = r.u32();
    h.streamOffset = kElfCompressionHeaderSize;  // ch_addralign only describes the inflated data
    return h;
}

const char* compression_name(Compression kind) {
    switch (kind) {
    case Compression::Zlib: return "zlib";
    case Compression::Zstd: return "zstd";
    case Compression::ZlibGnu: return "zlib-gnu";
    case Compression::None: break;
    }
    return "none";
}

bool zstd_supported() {
#ifdef DRAVONT_HAVE_ZSTD
    return true;
#else
    return false;
#endif
}

void check_inflated_total(const ByteSpan& raw, const CompressionHeader& header, uint64_t declaredBefore) {
    if (header.size > kMaxInflatedTotal - std::min(declaredBefore, kMaxInflatedTotal)) {
        malformed(raw, "declared size " + hex_text(header.size) + " takes the inflated sections past " +
                           hex_text(kMaxInflatedTotal) + " bytes", 4);
    }
}

InflatedBytes inflate_section(const ByteSpan& raw, const CompressionHeader& header, uint64_t inflatedSoFar) {
    const uint64_t streamSize = raw.size - header.streamOffset;
    if (header.kind != Compression::Zstd && header.size > kMaxInflationRatio * streamSize) {
        malformed(raw, "declared size " + hex_text(header.size) + " more than " + std::to_string(kMaxInflationRatio) +
                           " times its " + hex_text(streamSize) + " compressed bytes", 4);
    }
    check_inflated_total(raw, header, inflatedSoFar);
#ifdef DRAVONT_HAVE_ZSTD
    if (header.kind == Compression::Zstd) check_zstd_content_size(raw, header);
#endif
    // One byte more than declared, so that a stream running past its
    // declared size shows as such; left uncleared (see InflatedBytes).
    const size_t room = static_cast<size_t>(header.size) + 1;
    InflatedBytes out{std::unique_ptr<uint8_t[]>(new uint8_t[room]), static_cast<size_t>(header.size)};
    if (header.kind == Compression::Zstd) {
#ifdef DRAVONT_HAVE_ZSTD
        inflate_zstd(raw, header, out.data.get(), room);
#else
        throw std::logic_error("zstd section inflated by a build without zstd");
#endif
    } else {
        inflate_zlib(raw, header, out.data.get(), room);
    }
    return out;
}

}  // namespace dravont
