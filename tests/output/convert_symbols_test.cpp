#include <gtest/gtest.h>

#include <string>

#include "support/coff_builder.h"
#include "support/test_run.h"

using namespace coff_test;

namespace {

constexpr uint8_t C_EXT = 2, C_STAT = 3, C_FCN = 101, C_FILE = 103;

std::string spaces(size_t n) { return std::string(n, ' '); }

// Symbol-file lines: the label starts in column 76 in both layouts.
std::string ext_line(const std::string& value, const std::string& name, const std::string& label) {
    return value + " " + name + spaces(32 - name.size() + 34) + label + "\n";
}
std::string stat_line(const std::string& value, const std::string& name, const std::string& label) {
    return value + " " + name + spaces(65 - name.size() + 1) + label + "\n";
}

TEST(ConvertSymbols, WorkedExampleWritesSixSymbolsAndEightLines) {
    const RunResult r = run_in_memory(worked_example().build(), false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(r.committed);
    // Written out column by column: 61 blanks after _main, 55 after _count@main.
    EXPECT_EQ(r.sym,
              "00000100 _main" + spaces(61) + "(WORD)\n"
              "00000200 _count@main" + spaces(55) + "(WORD)\n"
              "00000118 _tick@test.c" + spaces(54) + "(WORD)\n"
              "00000204 _depth@tick@test.c" + spaces(48) + "(WORD)\n"
              "00000300 _table" + spaces(60) + "(LONG)\n"
              "00000310 _flag@test.c" + spaces(54) + "(BYTE)\n");
    EXPECT_EQ(r.lin,
              "**** test.c\n"
              "00000100     5\n"
              "00000104     6\n"
              "0000010A     7\n"
              "00000112     9\n"
              "00000118    12\n"
              "0000011C    13\n"
              "00000120    14\n");
    EXPECT_EQ(r.out, "complete symbols=6 lineCount=7\n");
}

TEST(ConvertSymbols, ShFamilyMakesIntALong) {
    const RunResult r = run_in_memory(worked_example(0x0500).build(), false);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.sym,
              "00000100 _main" + spaces(61) + "(LONG)\n"
              "00000200 _count@main" + spaces(55) + "(LONG)\n"
              "00000118 _tick@test.c" + spaces(54) + "(LONG)\n"
              "00000204 _depth@tick@test.c" + spaces(48) + "(WORD)\n"
              "00000300 _table" + spaces(60) + "(LONG)\n"
              "00000310 _flag@test.c" + spaces(54) + "(BYTE)\n");
}

TEST(ConvertSymbols, DebugModeDoesNotChangeTheFiles) {
    for (uint16_t magic : {0x8300, 0x0500}) {
        const auto image = worked_example(magic).build();
        const RunResult plain = run_in_memory(image, false);
        const RunResult debug = run_in_memory(image, true);
        EXPECT_EQ(plain.sym, debug.sym);
        EXPECT_EQ(plain.lin, debug.lin);
        EXPECT_EQ(debug.status, 0);
    }
}

TEST(ConvertSymbols, EmptySymbolTableGivesTwoEmptyFiles) {
    CoffBuilder b;
    b.sections = {section(".text")};
    const RunResult r = run_in_memory(b.build(), false);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.committed);
    EXPECT_EQ(r.sym, "");
    EXPECT_EQ(r.lin, "");
    EXPECT_EQ(r.out, "complete symbols=0 lineCount=0\n");
}

// Symbol-file cases: each builds a small table and expects the exact file.
struct SymbolCase {
    const char* what;
    std::vector<SymbolSpec> symbols;
    std::string expected;
};

std::vector<SymbolCase> symbol_cases() {
    std::vector<SymbolCase> cases;
    {
        // Untyped externals and statics (section symbols, labels) write
        // nothing; a typed external is written whatever its section.
        SymbolSpec undefinedVar = plain_symbol("_ext", 0, 0x04, C_EXT, 0);
        cases.push_back({"untyped", {file_symbol("a.c"), plain_symbol(".text", 0x100, 0, C_STAT),
                                     plain_symbol("_etext", 0x1D8, 0, C_EXT), undefinedVar},
                         ext_line("00000000", "_ext", "(WORD)")});
    }
    {
        // The label follows the basic type only.
        cases.push_back({"labels",
                         {plain_symbol("_p", 1, 0x12, C_EXT), plain_symbol("_a", 2, 0x32, C_EXT),
                          plain_symbol("_f", 3, 0x06, C_EXT), plain_symbol("_d", 4, 0x07, C_EXT),
                          plain_symbol("_s", 5, 0x08, C_EXT), plain_symbol("_ul", 6, 0x0F, C_EXT),
                          plain_symbol("_ui", 7, 0x0E, C_EXT), plain_symbol("_v", 8, 0x01, C_EXT)},
                         ext_line("00000001", "_p", "(BYTE)") + ext_line("00000002", "_a", "(BYTE)") +
                             ext_line("00000003", "_f", "(FLOT)") + ext_line("00000004", "_d", "(DBLE)") +
                             ext_line("00000005", "_s", "(VOID)") + ext_line("00000006", "_ul", "(LONG)") +
                             ext_line("00000007", "_ui", "(WORD)") + ext_line("00000008", "_v", "(VOID)")});
    }
    {
        // n_numaux 2: the second auxiliary record looks like a typed external
        // and must never be taken for a symbol.
        SymbolSpec two = plain_symbol("_two", 0x10, 0x04, C_EXT);
        two.aux.push_back(aux_raw({}));
        two.aux.push_back(aux_raw({'_', 'g', 'h', 'o', 's', 't', 0, 0, 0, 0, 0, 1, 0, 1, 0, 4, C_EXT, 0}));
        cases.push_back({"numaux 2", {two, plain_symbol("_next", 0x20, 0x02, C_EXT)},
                         ext_line("00000010", "_two", "(WORD)") + ext_line("00000020", "_next", "(BYTE)")});
    }
    {
        // A function name without underscore qualifies whole; with two
        // underscores only one goes.
        cases.push_back({"qualifiers",
                         {file_symbol("q.c"), function_symbol("main", 0x100, 0x24, C_EXT, 0, 5),
                          plain_symbol("_a", 0x200, 0x04, C_STAT, 2),
                          function_symbol("__g", 0x120, 0x24, C_EXT, 0, 8),
                          plain_symbol("_b", 0x202, 0x04, C_STAT, 2)},
                         ext_line("00000100", "main", "(WORD)") + stat_line("00000200", "_a@main", "(WORD)") +
                             ext_line("00000120", "__g", "(WORD)") + stat_line("00000202", "_b@_g", "(WORD)")});
    }
    {
        // The entry at x_endndx is outside the function already.
        cases.push_back({"scope end",
                         {file_symbol("s.c"), function_symbol("_f", 0x100, 0x24, C_EXT, 0, 5),
                          plain_symbol("_in", 0x200, 0x04, C_STAT, 2),
                          plain_symbol("_out", 0x202, 0x04, C_STAT, 2)},
                         ext_line("00000100", "_f", "(WORD)") + stat_line("00000200", "_in@f", "(WORD)") +
                             stat_line("00000202", "_out@s.c", "(WORD)")});
    }
    {
        // After "fake" the file qualifier is empty; "newlib/lib" files still
        // qualify their statics.
        cases.push_back({"fake and newlib",
                         {file_symbol("fake"), plain_symbol("_x", 1, 0x02, C_STAT),
                          file_symbol("../newlib/libc/x.c"), plain_symbol("_y", 2, 0x02, C_STAT)},
                         stat_line("00000001", "_x@", "(BYTE)") +
                             stat_line("00000002", "_y@../newlib/libc/x.c", "(BYTE)")});
    }
    {
        // A function symbol without aux entry opens no scope; one whose
        // x_lnnoptr is 0 still does.
        SymbolSpec noAux = plain_symbol("_na", 0x100, 0x24, C_EXT);
        cases.push_back({"function bookkeeping",
                         {file_symbol("b.c"), noAux, plain_symbol("_s1", 1, 0x02, C_STAT),
                          function_symbol("_nl", 0x110, 0x24, C_EXT, 0, 100),
                          plain_symbol("_s2", 2, 0x02, C_STAT)},
                         ext_line("00000100", "_na", "(WORD)") + stat_line("00000001", "_s1@b.c", "(BYTE)") +
                             ext_line("00000110", "_nl", "(WORD)") + stat_line("00000002", "_s2@nl", "(BYTE)")});
    }
    {
        // Fields filled exactly, and longer names cut: 32 characters for an
        // external, 65 for a qualified static. A static function's qualified
        // name qualifies its statics whole, beyond 32 characters.
        const std::string n32(32, 'e'), n40(40, 'f'), file32(32, 'g');
        const std::string s32 = "_" + std::string(31, 's');
        cases.push_back({"field widths",
                         {file_symbol(file32), plain_symbol(n32, 1, 0x02, C_EXT),
                          plain_symbol(n40, 2, 0x02, C_EXT), plain_symbol(s32, 3, 0x02, C_STAT),
                          function_symbol("_fn", 0x100, 0x24, C_STAT, 0, 100),
                          plain_symbol(s32, 4, 0x02, C_STAT)},
                         "00000001 " + n32 + spaces(34) + "(BYTE)\n" +
                             "00000002 " + n40.substr(0, 32) + spaces(34) + "(BYTE)\n" +
                             "00000003 " + s32 + "@" + file32 + " (BYTE)\n" +
                             stat_line("00000100", "_fn@" + file32, "(WORD)") +
                             "00000004 " + (s32 + "@fn@" + file32).substr(0, 65) + " (BYTE)\n"});
    }
    return cases;
}

TEST(ConvertSymbols, SymbolFileCases) {
    for (const SymbolCase& c : symbol_cases()) {
        CoffBuilder b;
        b.sections = {section(".text"), section(".data")};
        for (const SymbolSpec& s : c.symbols) b.add(s);
        const RunResult r = run_in_memory(b.build(), false);
        EXPECT_EQ(r.status, 0) << c.what << "\n" << r.out;
        EXPECT_EQ(r.sym, c.expected) << c.what;
    }
}

}  // namespace
