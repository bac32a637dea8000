#include "common/text_out.h"

#include <gtest/gtest.h>

namespace dravont {
namespace {

TEST(TextOut, ConversionsMatchPrintf) {
    TextOut t;
    t.hex(0xAB, 4).put('|').hex(0x123456789ULL, 8).put('|').dec(42, 5).put('|').dec(123456, 5);
    t.put('|').dec_zero(7, 4).put('|').dec_zero(10000, 4).put('|').sdec(-32768).put('|');
    t.left("abc", 6, 6).put('|').left("abcdefgh", 4, 4).put('|').left("(WORD)", 6);
    EXPECT_EQ(t.text(), "00AB|123456789|   42|123456|0007|10000|-32768|abc   |abcd|(WORD)");
}

}  // namespace
}  // namespace dravont
