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
