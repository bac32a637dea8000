// Line-number tables whose 16-bit count saturated at 0xFFFF.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/coff_builder.h"
#include "support/test_run.h"

using namespace coff_test;

namespace {

constexpr uint8_t C_EXT = 2;

size_t count_lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

// One function per element of `sizes`, each owning that many entries (its
// entry 0 included), all in section 1; the symbol table follows the line
// tables directly unless the caller moves it.
CoffBuilder program(const std::vector<uint32_t>& sizes, std::vector<LineRec> secondTable = {}) {
    CoffBuilder b;
    b.sections = {section(".text"), section(".data", std::move(secondTable))};
    uint32_t symbol = 0;
    for (uint32_t size : sizes) {
        b.sections[0].lines.push_back({symbol, 0});
        for (uint32_t k = 1; k < size; ++k) b.sections[0].lines.push_back({0x1000 + 2 * k, k + 1});
        symbol += 4;
    }
    b.sections[0].nlnno = 0xFFFF;
    uint32_t first = 0;
    for (size_t f = 0; f < sizes.size(); ++f) {
        b.add(function_symbol("_f" + std::to_string(f), 0x100 + static_cast<uint32_t>(f), 0x24, C_EXT,
                              b.line_offset(0, first), b.next_index() + 4));
        b.add(bf_symbol(0x100, 10));
        first += sizes[f];
    }
    return b;
}

TEST(SaturatedLineCount, ExactlyFullTableReadsAsBefore) {
    // 65,535 entries really are 0xFFFF: the symbol table follows at the
    // stated end, and the next section's table must not be walked into.
    for (bool secondTable : {false, true}) {
        std::vector<LineRec> next;
        if (secondTable) next = {{0x9000, 4}, {0x9002, 5}};
        const RunResult r = run_in_memory(program({65535}, next).build(), false);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(count_lines(r.lin), 65535u);
        EXPECT_EQ(r.lin.substr(r.lin.size() - 15), "00020FFC 65544\n");
        EXPECT_EQ(r.out, "complete symbols=1 lineCount=-1\n");
    }
}

TEST(SaturatedLineCount, OverflowingTableKeepsEveryRecord) {
    CoffBuilder b = program({40000, 30000});
    // Thirteen bytes before the symbol table: one more whole (zero) entry and
    // five stray bytes, which the rounding leaves out.
    b.symptr = b.line_offset(2) + 13;
    const auto image = b.build();
    const RunResult r = run_in_memory(image, false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(count_lines(r.lin), 70000u);
    // The second function's records lie past entry 65,535 and are all there.
    EXPECT_NE(r.lin.find("00000101    10\n00001002    11\n"), std::string::npos);
    EXPECT_EQ(r.lin.substr(r.lin.size() - 15), "0000FA5E 30009\n");

    const RunResult d = run_in_memory(image, true);
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(d.lin, r.lin);
    EXPECT_NE(d.out.find("LineNumEntry:     FFFF \nFlags       : 00000000 \n\n"
                         "LineNumCount: 70001 (count FFFF saturated: taken from the file layout)\n\n"),
              std::string::npos);
    // Entry 70,000 (the zero entry) is listed; its index shows the low 16 bits.
    EXPECT_NE(d.out.find("     001170 |  00000000  |00000000|00000000|_f0 "), std::string::npos);
}

TEST(SaturatedLineCount, CountBelowSaturationIsTakenAsWritten) {
    // A count of 0xFFFE means 0xFFFE entries even when more follow.
    CoffBuilder b = program({65536});
    b.sections[0].nlnno = 0xFFFE;
    const RunResult r = run_in_memory(b.build(), false);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(count_lines(r.lin), 0xFFFEu);
}

}  // namespace
