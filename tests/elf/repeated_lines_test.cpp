// A symbol-file line is written once, however many units describe its
// entity: repeats within a unit, in the next unit and in a unit further on
// are dropped, while units whose addresses interleave, and different names
// at one address, keep every line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/elf_builder.h"
#include "support/test_run.h"

namespace elf_test {
namespace {

Die function(const char* name, uint32_t low) {
    Die d;
    d.tag = DW_TAG_subprogram;
    d.attrs = {text(DW_AT_name, name), flag(DW_AT_external), address(DW_AT_low_pc, low),
               constant(DW_AT_high_pc, 4, DW_FORM_data4)};
    return d;
}

Die variable(const char* name, uint32_t at) {
    Die d;
    d.tag = DW_TAG_variable;
    d.attrs = {text(DW_AT_name, name), flag(DW_AT_external),
               block(DW_AT_location, {DW_OP_addr, static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16),
                                      static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at)})};
    return d;
}

std::string symbols_of(const std::vector<std::vector<Die>>& units) {
    DwarfBuilder dwarf(true, 4);
    for (size_t u = 0; u < units.size(); ++u) {
        Die root;
        root.tag = DW_TAG_compile_unit;
        root.attrs = {text(DW_AT_name, "u" + std::to_string(u) + ".c")};
        root.children = units[u];
        dwarf.add_unit(root);
    }
    ElfBuilder elf(true, 42);
    elf.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(0x100, 0)});
    elf.add_section({".data", 1, 3, 0x2000, std::vector<uint8_t>(0x100, 0)});
    dwarf.add_to(elf);
    const coff_test::RunResult r = coff_test::run_in_memory(elf.build(), false, "prog.elf");
    EXPECT_EQ(r.status, 0) << r.out;
    return r.sym;
}

std::string line(const char* value, const std::string& name) {
    return std::string(value) + " " + name + std::string(32 - name.size(), ' ') + std::string(34, ' ') + "(VOID)\n";
}

TEST(RepeatedLines, AreWrittenOnceWhereverTheyAreRepeated) {
    struct Case {
        const char* name;
        std::vector<std::vector<Die>> units;
        std::string expected;
    };
    const std::string a = line("00001000", "_a"), b = line("00001010", "_b"), v = line("00002000", "_v");
    const std::vector<Case> cases = {
        {"within a unit", {{function("a", 0x1000), variable("v", 0x2000), function("a", 0x1000), variable("v", 0x2000)}},
         a + v},
        {"in the next unit", {{function("a", 0x1000), variable("v", 0x2000)}, {variable("v", 0x2000), function("a", 0x1000)}},
         a + v},
        {"two units further on",
         {{function("a", 0x1000)}, {function("b", 0x1010)}, {variable("v", 0x2000)}, {function("a", 0x1000)}},
         a + b + v},
        {"units whose addresses interleave",
         {{function("a", 0x1000), function("c", 0x1020)}, {function("b", 0x1010), function("d", 0x1030)}},
         a + line("00001020", "_c") + b + line("00001030", "_d")},
        {"two names at one address", {{function("a", 0x1000)}, {function("alias", 0x1000), function("a", 0x1000)}},
         a + line("00001000", "_alias")},
    };
    for (const Case& c : cases) EXPECT_EQ(symbols_of(c.units), c.expected) << c.name;
}

}  // namespace
}  // namespace elf_test
