// The ELF conversion on helper-built images: one small program written in
// every DWARF version, both byte orders and both families must give the same
// two files, worked out by hand from the conversion rules below; and a table
// of malformed images that must each end in the clean failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/messages.h"
#include "support/elf_builder.h"
#include "support/elf_samples.h"
#include "support/test_run.h"

using namespace elf_test;

namespace {

struct Variant {
    const char* name;
    bool big;
    uint16_t machine;
    uint8_t version;
};

const Variant kVariants[] = {
    {"h8_dwarf2", true, 46, 2},  {"h8_dwarf3", true, 46, 3},  {"h8_dwarf4", true, 46, 4},
    {"h8_dwarf5", true, 46, 5},  {"sh_le_dwarf2", false, 42, 2}, {"sh_le_dwarf4", false, 42, 4},
    {"sh_le_dwarf5", false, 42, 5},
};

// What the sample program must give, line by line (the symbol file's blanks
// spelled out by the helpers below).
std::string ext(const char* value, const std::string& name, const char* cls) {
    return std::string(value) + " " + name + std::string(32 - name.size(), ' ') + std::string(34, ' ') + cls + "\n";
}
std::string stat(const char* value, const std::string& name, const char* cls) {
    return std::string(value) + " " + name + std::string(65 - name.size(), ' ') + " " + cls + "\n";
}

const std::string kExpectedSym =
    ext("00001000", "_main", "(WORD)") +
    stat("00002000", "_count@main", "(LONG)") +
    stat("00001020", "_bump@prog.c", "(VOID)") +
    stat("00002004", "_hits@bump@prog.c", "(BYTE)") +
    stat("00002008", "_deep@bump@prog.c", "(WORD)") +
    stat("0000200C", "_inl_state@helper@prog.c", "(FLOT)") +
    ext("00002010", "_table", "(LONG)") +
    ext("00002020", "_names", "(BYTE)") +
    ext("00002030", "_cfg", "(VOID)") +
    ext("00002040", "_ratio", "(DBLE)") +
    ext("00002048", "_flags", "(WORD)") +
    ext("00002050", "_member_defined_via_spec", "(BYTE)") +
    ext("00001040", "_split", "(WORD)") +
    ext("00002060", "_abcdefghijklmnopqrstuvwxyz01234", "(BYTE)");

const std::string kExpectedLin =
    "**** prog.c\n"
    "00001000    10\n"   // base: the first row at the entry address
    "00001004    12\n"   // the later of two rows at 0x1004
    "0000100A    14\n"
    "00001020    30\n"   // bump: rows of the header and line 0 are left out
    "00001026    33\n"
    "00001040    50\n"   // split: entry_pc in the cold part's list, hot part first
    "00001044    51\n"
    "00001100    55\n";

}  // namespace

class ElfVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(ElfVariants, SampleProgramGivesTheSameFilesInEveryForm) {
    const Variant v = GetParam();
    const std::vector<uint8_t> image = sample_program(v.big, v.machine, v.version);
    for (bool debug : {false, true}) {
        const coff_test::RunResult r = coff_test::run_in_memory(image, debug, "prog.elf");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.sym, kExpectedSym);
        EXPECT_EQ(r.lin, kExpectedLin);
        EXPECT_NE(r.out.find("complete symbols=14 lineCount=8\n"), std::string::npos) << r.out;
        if (debug) {
            const char* family = v.machine == 46 ? "H8300 elf" : "SH elf";
            EXPECT_NE(r.out.find(family), std::string::npos);
            EXPECT_NE(r.out.find("|not written: not a static address"), std::string::npos);
            EXPECT_NE(r.out.find("|other file"), std::string::npos);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, ElfVariants, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& info) { return info.param.name; });

// What the linker discarded, entities described twice and ranges that run
// into the next function, on the sample's line table (rows at 0x1000 10 and
// 11, 0x1004 11 and 12, 0x100A 14, 0x1020 30, a header's row at 0x1022,
// 0x1026 33, 0x1040 50, 0x1044 51, 0x1100 55) in an image whose .text is
// 0x1000-0x1107 and .data 0x2000-0x20FF.
namespace {

Die function(const char* name, uint32_t low, uint32_t length) {
    return Die{DW_TAG_subprogram, {text(DW_AT_name, name), flag(DW_AT_external), address(DW_AT_low_pc, low),
                                   constant(DW_AT_high_pc, length, DW_FORM_data4)}};
}
Die external_variable(const char* name, uint32_t address) {
    const std::vector<uint8_t> location = {DW_OP_addr, static_cast<uint8_t>(address >> 24),
                                           static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                                           static_cast<uint8_t>(address)};
    return Die{DW_TAG_variable, {text(DW_AT_name, name), flag(DW_AT_external), block(DW_AT_location, location)}};
}

struct PlacementCase {
    const char* name;
    std::vector<Die> children;
    std::string sym;
    std::string lin;
};

}  // namespace

TEST(ElfConversion, DiscardedRepeatedAndOverlappingEntities) {
    const std::string a = ext("00001000", "_a", "(VOID)");
    const std::string aRows = "00001000    10\n00001004    12\n0000100A    14\n";
    const std::vector<PlacementCase> cases = {
        {"tombstones and address 0 outside every section are never written",
         {function("gone", 0xFFFFFFFF, 0x10), function("zero", 0, 0x10), external_variable("lost", 0xFFFFFFFE),
          external_variable("nowhere", 0x3000), function("a", 0x1000, 0x10), external_variable("kept", 0x2000)},
         a + ext("00002000", "_kept", "(VOID)"),
         "**** prog.c\n" + aRows},
        {"an entity described twice is written once, its rows once",
         {function("a", 0x1000, 0x10), external_variable("kept", 0x2000), function("a", 0x1000, 0x10),
          external_variable("kept", 0x2000)},
         a + ext("00002000", "_kept", "(VOID)"),
         "**** prog.c\n" + aRows},
        {"rows two functions claim belong to the first in DIE order",
         {function("a", 0x1000, 0x30), function("b", 0x1000, 0x10)},
         a + ext("00001000", "_b", "(VOID)"),
         "**** prog.c\n" + aRows + "00001020    30\n00001026    33\n"},
        {"a range that runs past the next function's entry ends there",
         {function("a", 0x1000, 0x30), function("c", 0x1020, 0x10)},
         a + ext("00001020", "_c", "(VOID)"),
         "**** prog.c\n" + aRows + "00001020    30\n00001026    33\n"},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        const coff_test::RunResult r = coff_test::run_in_memory(unit_with(c.children), false, "prog.elf");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.sym, c.sym);
        EXPECT_EQ(r.lin, c.lin);
    }
}

TEST(ElfConversion, WithoutDwarfWritesTwoEmptyFiles) {
    ElfBuilder elf(true, 46);
    elf.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(16, 0)});
    elf.add_symbol({"_main", 0x1000});
    const coff_test::RunResult r = coff_test::run_in_memory(elf.build(), false, "plain.elf");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(r.committed);
    EXPECT_EQ(r.sym, "");
    EXPECT_EQ(r.lin, "");
}

// Malformed and refused images: each must end with status 1, its message,
// and nothing committed, with and without -debug.
TEST(ElfConversion, MalformedAndRefusedInputsFailCleanly) {
    for (const BrokenImage& c : broken_images()) {
        SCOPED_TRACE(c.name);
        for (bool debug : {false, true}) {
            const coff_test::RunResult r = coff_test::run_in_memory(c.image, debug, "bad.elf");
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_FALSE(r.committed);
            EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0);
        }
    }
}

// Cutting the sample anywhere must end in the clean failure or, where only
// unread bytes were cut, in the whole result.
TEST(ElfConversion, EveryTruncationFailsCleanly) {
    const std::vector<uint8_t> whole = sample_program(false, 42, 5);
    const coff_test::RunResult full = coff_test::run_in_memory(whole, false, "prog.elf");
    for (size_t n = 0; n < whole.size(); ++n) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
        const coff_test::RunResult r = coff_test::run_in_memory(cut, false, "prog.elf");
        if (r.status == 0) {
            EXPECT_EQ(r.sym + r.lin, full.sym + full.lin) << "cut at " << n;
        } else {
            ASSERT_EQ(r.status, 1) << "cut at " << n;
            EXPECT_FALSE(r.committed);
        }
    }
}
