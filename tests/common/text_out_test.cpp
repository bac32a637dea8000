#include "common/text_out.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace dravont {
namespace {

TEST(TextOut, ConversionsMatchPrintf) {
    TextOut t;
    t.hex(0xAB, 4).put('|').hex(0x123456789ULL, 8).put('|').dec(42, 5).put('|').dec(123456, 5);
    t.put('|').dec_zero(7, 4).put('|').dec_zero(10000, 4).put('|').sdec(-32768).put('|');
    t.left("abc", 6, 6).put('|').left("abcdefgh", 4, 4).put('|').left("(WORD)", 6);
    EXPECT_EQ(t.text(), "00AB|123456789|   42|123456|0007|10000|-32768|abc   |abcd|(WORD)");
}

// The table-driven formatting of hex and decimal numbers against printf, at
// every digit count and around each power of the base.
TEST(TextOut, NumbersMatchPrintfAtEveryLength) {
    std::vector<uint64_t> values = {0, UINT64_MAX, 0xFFFFFFFFu, 0x100000000u};
    for (uint64_t p = 1; p != 0 && p <= UINT64_MAX / 10; p *= 10) values.insert(values.end(), {p - 1, p, p + 1});
    for (int shift = 0; shift < 64; shift += 4) values.push_back(uint64_t{0x9A} << shift);
    // Every digit in every place of an address (eight digits are laid out
    // together), over a background of each digit.
    for (uint64_t background : {0x00000000u, 0x99999999u, 0xAAAAAAAAu, 0xFFFFFFFFu}) {
        for (int shift = 0; shift < 32; shift += 4) {
            for (uint64_t digit = 0; digit < 16; ++digit) {
                values.push_back((background & ~(uint64_t{0xF} << shift)) | digit << shift);
            }
        }
    }
    for (uint64_t v : values) {
        for (int width : {0, 1, 5, 8, 20}) {
            char expected[96];
            std::snprintf(expected, sizeof expected, "%0*" PRIX64 "|%*" PRIu64 "|%0*" PRIu64, width, v, width, v,
                          width, v);
            TextOut t;
            t.hex(v, width).put('|').dec(v, width).put('|').dec_zero(v, width);
            EXPECT_EQ(t.text(), expected) << v << " width " << width;
        }
    }
}

}  // namespace
}  // namespace dravont
