#include <gtest/gtest.h>

#include <string>

#include "support/coff_builder.h"
#include "support/test_run.h"

using namespace coff_test;

namespace {

constexpr uint8_t C_EXT = 2, C_STAT = 3, C_FILE = 103;

// " 入力ファイルの形式に誤りがあります。" in CP932.
const std::string kMalformed =
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae\x82\xc9"
    "\x8c\xeb\x82\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";

TEST(LineFile, WalksStopAtNextFunctionAndAtTableEnd) {
    CoffBuilder b;
    b.sections = {section(".text"), section(".data")};
    const uint32_t f1 = 2, f2 = 6, f3 = 10;
    // f1: one record with a six-digit line; f2: its entry 0 only; f3: the
    // last function, whose walk ends at the table end although the next
    // section's table follows directly.
    b.sections[0].lines = {{f1, 0}, {0x102, 50000}, {f2, 0}, {f3, 0}, {0x130, 2}, {0x134, 3}};
    b.sections[1].lines = {{0x999, 7}};
    b.add(file_symbol("w.c"));
    b.add(function_symbol("_f1", 0x100, 0x24, C_EXT, b.line_offset(0, 0), 6));
    b.add(bf_symbol(0x100, 60000));
    b.add(function_symbol("_f2", 0x120, 0x24, C_EXT, b.line_offset(0, 2), 10));
    b.add(bf_symbol(0x120, 20));
    b.add(function_symbol("_f3", 0x12C, 0x24, C_EXT, b.line_offset(0, 3), 14));
    b.add(bf_symbol(0x12C, 30));
    b.add(ef_symbol(0x140));
    const RunResult r = run_in_memory(b.build(), false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lin,
              "**** w.c\n"
              "00000100 60000\n"
              "00000102 109999\n"
              "00000120    20\n"
              "0000012C    30\n"
              "00000130    31\n"
              "00000134    32\n");
    EXPECT_EQ(r.out, "complete symbols=3 lineCount=6\n");
}

// Entries that write nothing to the line file, and the run still succeeds.
TEST(LineFile, EntriesThatWriteNothing) {
    CoffBuilder b;
    b.sections = {section(".text")};
    b.sections[0].lines = {{4, 0}, {0x104, 2}};
    b.add(file_symbol("n.c"));                               // 0
    b.add(bf_symbol(0x90, 3));                               // 2: no function yet
    b.add(function_symbol("_f", 0x100, 0x24, C_EXT, b.line_offset(0), 100));  // 4
    SymbolSpec zeroBase = bf_symbol(0x100, 0);                // 6: base line 0
    b.add(zeroBase);
    SymbolSpec noAux = bf_symbol(0x100, 7);                   // 8: no aux entry
    noAux.aux.clear();
    b.add(noAux);
    b.add(ef_symbol(0x110));                                  // 9
    SymbolSpec bb = bf_symbol(0x100, 5);                      // 11: .bb is no .bf
    bb.name = ".bb";
    b.add(bb);
    b.add(function_symbol("_g", 0x120, 0x24, C_EXT, 0, 100)); // 13: no line information
    b.add(bf_symbol(0x120, 9));                               // 15: must not reuse _f's lines
    const RunResult r = run_in_memory(b.build(), false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.lin, "**** n.c\n");
    const RunResult d = run_in_memory(b.build(), true);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.lin, r.lin);
}

TEST(LineFile, FileEntryWithoutAuxIsLikeFake) {
    CoffBuilder b;
    SymbolSpec file = file_symbol("x.c");
    file.fileName.reset();
    b.add(file_symbol("first.c"));
    b.add(file);
    b.add(plain_symbol("_s", 1, 0x02, C_STAT));
    const RunResult r = run_in_memory(b.build(), false);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.lin, "**** first.c\n");
    EXPECT_EQ(r.sym, "00000001 _s@" + std::string(65 - 3, ' ') + " (BYTE)\n");
}

TEST(LineFile, BfNamingNoSectionIsMalformed) {
    for (uint16_t scnum : {0x0000, 0xFFFF, 0xFFFE, 0x0003}) {
        CoffBuilder b;
        b.sections = {section(".text", {{0, 0}, {0x104, 2}}), section(".data")};
        b.add(function_symbol("_f", 0x100, 0x24, C_EXT, b.line_offset(0), 100));
        b.add(bf_symbol(0x100, 3, scnum));
        const auto image = b.build();
        for (bool debug : {false, true}) {
            const RunResult r = run_in_memory(image, debug);
            EXPECT_EQ(r.status, 1) << scnum;
            EXPECT_FALSE(r.committed);
            const uint32_t bfOffset = b.symbol_table_offset() + 2 * 18;
            char expected[160];
            std::snprintf(expected, sizeof expected,
                          "\n.bf at symbol 2: section number %u names no section: offset 0x%08X, "
                          "file size %zu\n\n",
                          scnum, bfOffset, image.size());
            EXPECT_NE(r.out.find("test.coff" + kMalformed + expected), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("complete"), std::string::npos);
        }
    }
}

TEST(LineFile, SharedLineTableIsMalformed) {
    // Two functions pointing at the same entries would write them twice; a
    // crafted file could multiply the output that way.
    CoffBuilder b;
    b.sections = {section(".text", {{0, 0}, {0x104, 2}})};
    for (uint32_t k = 0; k < 2; ++k) {
        b.add(function_symbol("_f" + std::to_string(k), 0x100, 0x24, C_EXT, b.line_offset(0), 100));
        b.add(bf_symbol(0x100, 3));
    }
    const RunResult r = run_in_memory(b.build(), false);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.committed);
    EXPECT_NE(r.out.find("line-number entry written twice"), std::string::npos) << r.out;
}

TEST(LineFile, CountersWrapAsSixteenBitNumbers) {
    CoffBuilder b;
    b.symbols.assign(32768, plain_symbol("_v", 7, 0x02, C_EXT));
    const RunResult r = run_in_memory(b.build(), false);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "complete symbols=-32768 lineCount=0\n");
    EXPECT_EQ(r.sym.size(), 32768u * 82u);
}

}  // namespace
