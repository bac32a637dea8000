// Three units, the middle one with more than 1 MiB of DIEs, the last one
// repeating some of its functions: the files must be the same with one, two
// and four threads and with -debug, each function written once with its two
// line records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/elf_builder.h"
#include "support/test_run.h"

using namespace elf_test;

namespace {

constexpr uint32_t kBigFunctions = 32000;  // 35 bytes of DIE each
constexpr uint32_t kSmallFunctions = 100;
constexpr uint32_t kRepeats = 20;  // of the big unit's external functions, in the last unit

struct Function {
    std::string name;
    uint32_t address;
    bool external;
};

Die function_die(const Function& f) {
    Die d;
    d.tag = DW_TAG_subprogram;
    d.attrs = {text(DW_AT_name, f.name), address(DW_AT_low_pc, f.address),
               constant(DW_AT_high_pc, 4, DW_FORM_data4)};
    if (f.external) d.attrs.push_back(flag(DW_AT_external));
    return d;
}

// One row at each function's entry and one two bytes on, lines counting up.
LineProgram rows_of(const std::string& file, const std::vector<Function>& functions) {
    LineProgram p;
    p.files = {{file, 0}};
    if (functions.empty()) return p;
    p.set_address(functions.front().address).advance_line(9).copy();
    for (size_t i = 0; i < functions.size(); ++i) {
        if (i != 0) p.set_address(functions[i].address).advance_line(1).copy();
        p.special(2, 1);
    }
    return p.advance_pc(2).end_sequence();
}

void add_unit(DwarfBuilder& dwarf, const std::string& name, const std::vector<Function>& functions) {
    Die root;
    root.tag = DW_TAG_compile_unit;
    root.attrs = {text(DW_AT_name, name), constant(DW_AT_language, DW_LANG_C99, DW_FORM_data1)};
    for (const Function& f : functions) root.children.push_back(function_die(f));
    dwarf.add_unit(root, rows_of(name, functions));
}

std::vector<Function> functions(const char* stem, uint32_t count, uint32_t first) {
    std::vector<Function> list;
    char name[64];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "%s_function_number_%05u", stem, static_cast<unsigned>(i));
        list.push_back({name, first + 4 * i, i % 3 != 0});
    }
    return list;
}

struct Image {
    std::vector<uint8_t> bytes;
    uint32_t largestUnit = 0;
};

Image three_units() {
    const std::vector<Function> small = functions("small", kSmallFunctions, 0x1000);
    const std::vector<Function> big = functions("big", kBigFunctions, 0x1200);
    std::vector<Function> last = functions("last", kSmallFunctions, 0x1200 + 4 * kBigFunctions + 0x100);
    std::vector<Function> repeats;
    for (size_t i = 0; repeats.size() < kRepeats; ++i) {
        if (big[i].external) repeats.push_back(big[i]);
    }
    DwarfBuilder dwarf(true, 4);
    add_unit(dwarf, "small.c", small);
    add_unit(dwarf, "big.c", big);
    // The repeats come first in the last unit's DIEs, with no rows of its own.
    Die root;
    root.tag = DW_TAG_compile_unit;
    root.attrs = {text(DW_AT_name, "last.c"), constant(DW_AT_language, DW_LANG_C99, DW_FORM_data1)};
    for (const Function& f : repeats) root.children.push_back(function_die(f));
    for (const Function& f : last) root.children.push_back(function_die(f));
    dwarf.add_unit(root, rows_of("last.c", last));

    const DebugSections sections = dwarf.sections();
    Image image;
    for (size_t i = 0; i < sections.unitOffsets.size(); ++i) {
        const uint32_t end = i + 1 < sections.unitOffsets.size() ? sections.unitOffsets[i + 1]
                                                                 : static_cast<uint32_t>(sections.info.size());
        image.largestUnit = std::max(image.largestUnit, end - sections.unitOffsets[i]);
    }
    ElfBuilder elf(true, 42);
    elf.add_section({".text", 8, 6, 0x1000, std::vector<uint8_t>(0x24000, 0)});
    add_debug_sections(elf, sections);
    elf.add_symbol({"_small_function_number_00001", 0x1004});
    image.bytes = elf.build();
    return image;
}

size_t lines_in(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(LargeUnit, SameFilesOnEveryThreadCount) {
    const Image image = three_units();
    ASSERT_GT(image.largestUnit, 1u << 20);
    const coff_test::RunResult one = coff_test::run_in_memory(image.bytes, false, "big.elf", nullptr, 1);
    ASSERT_EQ(one.status, 0) << one.out;
    const size_t written = 2 * kSmallFunctions + kBigFunctions;  // the repeats not again
    EXPECT_EQ(lines_in(one.sym), written);
    EXPECT_EQ(lines_in(one.lin), 2 * written + 3);  // two records each, three markers
    EXPECT_EQ(one.lin.find("**** big.c\n00001200    10\n00001202    11\n00001204    12\n"), 13 + 15 * 200u);
    const struct {
        bool debug;
        unsigned threads;
        const char* what;
    } kModes[] = {{false, 2, "two threads"}, {false, 4, "four threads"}, {true, 0, "with -debug"}};
    for (const auto& mode : kModes) {
        SCOPED_TRACE(mode.what);
        const coff_test::RunResult r = coff_test::run_in_memory(image.bytes, mode.debug, "big.elf", nullptr, mode.threads);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.sym == one.sym);
        EXPECT_TRUE(r.lin == one.lin);
    }
}

}  // namespace
