// Line sequences in any order: the rows of a line table are found by address
// whether its sequences come in address order, reversed, rotated, overlapping
// or with an address going back inside one; rows at one address keep their
// program order.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/elf_builder.h"
#include "support/test_run.h"

namespace elf_test {
namespace {

// Rows of one sequence: (address, line) pairs, then its end address.
struct Sequence {
    std::vector<std::pair<uint32_t, int>> rows;
    uint32_t end;
};

const Sequence kS1{{{0x1000, 10}, {0x1004, 11}}, 0x1010};
const Sequence kS2{{{0x1010, 20}, {0x1018, 21}}, 0x1020};
const Sequence kS3{{{0x1020, 30}, {0x1024, 31}}, 0x1030};

LineProgram program(const std::vector<Sequence>& sequences) {
    LineProgram p;
    p.files = {{"prog.c", 0}};
    for (const Sequence& s : sequences) {
        int line = 1;
        for (const auto& [address, to] : s.rows) {
            p.set_address(address).advance_line(to - line).copy();
            line = to;
        }
        p.end_sequence(s.end);
    }
    return p;
}

Die function(const char* name, uint32_t low, uint32_t high) {
    Die d;
    d.tag = DW_TAG_subprogram;
    d.attrs = {text(DW_AT_name, name), flag(DW_AT_external), address(DW_AT_low_pc, low),
               constant(DW_AT_high_pc, high - low, DW_FORM_data4)};
    return d;
}

std::string lines_of(const LineProgram& lines) {
    DwarfBuilder dwarf(true, 4);
    Die unit;
    unit.tag = DW_TAG_compile_unit;
    unit.attrs = {text(DW_AT_name, "prog.c"), text(DW_AT_comp_dir, "/w")};
    unit.children = {function("f1", 0x1000, 0x1010), function("f2", 0x1010, 0x1020), function("f3", 0x1020, 0x1030)};
    dwarf.add_unit(unit, lines);
    ElfBuilder elf(true, 42);
    elf.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(0x30, 0)});
    dwarf.add_to(elf);
    const coff_test::RunResult r = coff_test::run_in_memory(elf.build(), false, "prog.elf");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.lin;
}

const std::string kInOrder =
    "**** prog.c\n00001000    10\n00001004    11\n00001010    20\n00001018    21\n00001020    30\n00001024    31\n";

TEST(LineSequences, RowsAreFoundWhateverTheOrderOfTheSequences) {
    struct Case {
        const char* name;
        std::vector<Sequence> sequences;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"in address order", {kS1, kS2, kS3}, kInOrder},
        {"reversed", {kS3, kS2, kS1}, kInOrder},
        {"rotated", {kS2, kS3, kS1}, kInOrder},
        // f2's range takes a row of the first sequence, written in program order.
        {"overlapping", {{{{0x1000, 10}, {0x1014, 12}}, 0x1018}, kS2, kS3},
         "**** prog.c\n00001000    10\n00001010    20\n00001014    12\n00001018    21\n00001020    30\n00001024    31\n"},
        {"going back inside a sequence", {{{{0x1010, 20}, {0x1000, 10}, {0x1004, 11}, {0x1018, 21}}, 0x1020}, kS3},
         kInOrder},
        // Two rows at 0x1008: the later in program order is the one written.
        {"a tie where sequences meet", {{{{0x1000, 10}, {0x1008, 11}}, 0x100C}, {{{0x1008, 15}}, 0x1010}, kS2},
         "**** prog.c\n00001000    10\n00001008    15\n00001010    20\n00001018    21\n"},
        {"the same tie, sequences reversed", {{{{0x1008, 15}}, 0x1010}, {{{0x1000, 10}, {0x1008, 11}}, 0x100C}, kS2},
         "**** prog.c\n00001000    10\n00001008    15\n00001008    11\n00001010    20\n00001018    21\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(lines_of(program(c.sequences)), c.expected) << c.name;
}

// A file the program defines itself (DW_LNE_define_file) counts as the
// header's files do: here it spells the unit's own path, which makes the
// header's "sub/prog.c" another file, whose rows no function (none declares
// a file) takes. The line file is the same whether the rows are taken as the
// program makes them or from the whole table, as -debug does.
TEST(LineSequences, AFileTheProgramDefinesGroupsRowsAsAHeaderFileWould) {
    LineProgram p;
    p.files = {{"sub/prog.c", 0}};
    p.set_address(0x1000).advance_line(9).copy().special(4, 1).end_sequence(0x1010);
    // 0x00, length, DW_LNE_define_file, "prog.c", directory 0, mtime 0, length 0
    p.bytes({0x00, 11, 0x03, 'p', 'r', 'o', 'g', '.', 'c', 0, 0, 0, 0});
    p.set_file(2).set_address(0x1010).advance_line(19).copy().special(8, 1).end_sequence(0x1020);
    DwarfBuilder dwarf(true, 4);
    Die unit;
    unit.tag = DW_TAG_compile_unit;
    unit.attrs = {text(DW_AT_name, "prog.c"), text(DW_AT_comp_dir, "/w")};
    unit.children = {function("f1", 0x1000, 0x1010), function("f2", 0x1010, 0x1020)};
    dwarf.add_unit(unit, p);
    ElfBuilder elf(true, 42);
    elf.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(0x30, 0)});
    dwarf.add_to(elf);
    const std::vector<uint8_t> image = elf.build();
    const coff_test::RunResult plain = coff_test::run_in_memory(image, false, "prog.elf");
    const coff_test::RunResult debug = coff_test::run_in_memory(image, true, "prog.elf");
    ASSERT_EQ(plain.status, 0) << plain.out;
    EXPECT_EQ(plain.lin, debug.lin);
    EXPECT_EQ(plain.lin, "**** prog.c\n00001010    20\n00001018    21\n");
}

}  // namespace
}  // namespace elf_test
