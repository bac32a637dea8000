// The DIE cursor fails where ByteReader fails on the same bytes, with the
// same words, and keeps its first failure: later reads fail too and leave
// it as it is.
#include "dwarf/die_cursor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/run_error.h"
#include "support/dwarf_emitter.h"

using namespace dravont;

namespace {

using dwarf_test::Bytes;

struct Failure {
    std::string record;
    uint64_t offset = 0;
};

template <class Read>
Failure failure_of(Read read) {
    try {
        read();
    } catch (const MalformedInput& e) {
        return {e.record(), e.offset()};
    }
    ADD_FAILURE() << "no failure";
    return {};
}

TEST(DieCursor, FailsWhereByteReaderFails) {
    const Bytes longLeb(10, 0x80);  // ten bytes that all say another follows
    const Bytes largeLeb = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02};
    struct Case {
        const char* name;
        Bytes bytes;
        uint64_t start;
        std::function<bool(DieCursor&)> cursor;
        std::function<void(ByteReader&)> reader;
        uint64_t offset;  // into the span
    };
    uint64_t v = 0;
    std::string_view text;
    const uint8_t* block = nullptr;
    const Case cases[] = {
        {"short fixed 4", {1, 2, 3, 4, 5}, 2, [&](DieCursor& c) { return c.fixed<4>(v); },
         [](ByteReader& r) { r.u32(); }, 2},
        {"short fixed 3 fails at the end", {1, 2, 3, 4}, 2, [&](DieCursor& c) { return c.fixed<3>(v); },
         [](ByteReader& r) { r.u8(), r.u8(), r.u8(); }, 4},
        {"skip past the end", {1, 2, 3}, 1, [](DieCursor& c) { return c.skip(3); }, [](ByteReader& r) { r.skip(3); }, 1},
        {"block past the end", {1, 2, 3}, 1, [&](DieCursor& c) { return c.block(5, block); },
         [](ByteReader& r) { r.skip(5); }, 1},
        {"truncated ULEB128", {0, 0x80, 0x80}, 1, [&](DieCursor& c) { return c.uleb(v); }, [](ByteReader& r) { r.uleb(); }, 3},
        {"ULEB128 too long", longLeb, 0, [&](DieCursor& c) { return c.uleb(v); }, [](ByteReader& r) { r.uleb(); }, 0},
        {"ULEB128 too large", largeLeb, 0, [&](DieCursor& c) { return c.uleb(v); }, [](ByteReader& r) { r.uleb(); }, 0},
        {"truncated SLEB128", {0xff}, 0, [&](DieCursor& c) { return c.sleb(v); }, [](ByteReader& r) { r.sleb(); }, 1},
        {"SLEB128 too long", longLeb, 0, [&](DieCursor& c) { return c.sleb(v); }, [](ByteReader& r) { r.sleb(); }, 0},
        {"unterminated string", {'a', 0, 'b', 'c'}, 2, [&](DieCursor& c) { return c.cstr(text); },
         [](ByteReader& r) { r.cstr(); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ByteSpan span = dwarf_test::span_of(c.bytes, "section .debug_info", 0x1000);
        DieCursor cursor(span, ByteOrder::Big, c.start);
        EXPECT_FALSE(c.cursor(cursor));
        ASSERT_TRUE(cursor.failed());
        EXPECT_EQ(cursor.failure_position(), c.offset);
        const Failure fromCursor = failure_of([&] { cursor.raise(); });
        const Failure fromReader = failure_of([&] {
            ByteReader r(span, ByteOrder::Big, c.start);
            c.reader(r);
        });
        EXPECT_EQ(fromCursor.record, fromReader.record);
        EXPECT_EQ(fromCursor.offset, fromReader.offset);
        EXPECT_EQ(fromCursor.offset, 0x400 + c.offset);
    }
}

TEST(DieCursor, KeepsItsFirstFailure) {
    const Bytes data = {0x05, 0x80};
    const ByteSpan span = dwarf_test::span_of(data, "section .debug_info", 0x1000);
    DieCursor c(span, ByteOrder::Little, 0);
    uint64_t v = 0;
    EXPECT_TRUE(c.uleb(v));
    EXPECT_EQ(v, 5u);
    EXPECT_FALSE(c.uleb(v));  // truncated: fails at the end, offset 2
    std::string_view text;
    EXPECT_FALSE(c.cstr(text));  // the cursor holds no more data
    EXPECT_FALSE(c.skip(1));
    EXPECT_EQ(c.position(), 2u);
    EXPECT_STREQ(c.failure(), "data");
    EXPECT_EQ(c.failure_position(), 2u);
    const Failure f = failure_of([&] { c.raise(); });
    EXPECT_EQ(f.record, "section .debug_info, data");
    EXPECT_EQ(f.offset, 0x402u);
}

}  // namespace
