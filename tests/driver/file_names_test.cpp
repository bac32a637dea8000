// Name checking and the derivation of the symbol-file and line-file names.
//
// The Japanese texts are spelled here as their own CP932 bytes rather than
// through the message constants, so that a wrong constant shows up.
#include "driver/file_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/run_state.h"
#include "common/text_out.h"

namespace dravont {
namespace {

// 入力ファイル名が入力されていません。
const std::string kNoInput =
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
    "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n";
// 出力ファイル名が入力されていません。
const std::string kNoOutput =
    "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
    "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n";
// " 入力ファイル名に誤りがあります。"
const std::string kBadInput =
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc9\x8c\xeb\x82\xe8"
    "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\n\n";
// " 出力ファイル名に誤りがあります。"
const std::string kBadOutput =
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc9\x8c\xeb\x82\xe8"
    "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\n\n";
const std::string kUsage = "dravont [InputFileName] -o [OutputFileName]\n\n";
const std::string kEnd = "-------------------------------\n\n";

// A Shift_JIS double-byte character whose second byte is the backslash (表).
const std::string kHyo = "\x95\x5c";

std::string check_block(const std::string& name, int yen, int dot, int fn, int ext, int i) {
    return "------- Check File Name -------\n"
           "\x83\x74\x83\x40\x83\x43\x83\x8b:" + name + "\n" +  // ファイル:
           "yen:" + std::to_string(yen) + "\ndot:" + std::to_string(dot) +
           "\nfn :" + std::to_string(fn) + "\next:" + std::to_string(ext) +
           "\ni  :" + std::to_string(i) + "\n" + kEnd;
}

struct NameCase {
    std::string name;
    int status;
    bool rejectedDuringScan;  // no check block is printed
};

// The status of single names; for names that pass, the base is the name cut
// at the status (the whole name for status 0).
const std::vector<NameCase> kNames = {
    {"a.b", 1, false},
    {"sample.coff", 6, false},
    {"sample", 0, false},
    {"dir\\x.o", 5, false},
    {"c:\\work\\prog.coff", 12, false},
    {"..\\x.c", 4, false},
    {".\\x.c", 3, false},
    {"\\a.b", 2, false},
    {"dir/x.o", 5, false},        // the slash separates directories too
    {"v1.2/fw.coff", 7, false},   // the dot of an earlier directory is forgotten
    {"out.d/z", 0, false},
    {"a//b.c", 4, false},         // two slashes in a row name one separator
    {"a\\/\\b.c", 5, false},      // a slash ends a run of backslashes
    {"/abs/x.o", 6, false},
    {"x.abc\\y", 0, false},       // the dot of an earlier component is forgotten
    {"a.b.", 0, false},
    {"a..", 0, false},
    {"..", 0, false},
    {"", 0, false},
    {"a.", -1, false},
    {".", -1, false},
    {".x", -1, true},             // a character after a leading dot
    {"a.b.c", -1, true},          // a character after the second dot
    {"a...", -1, true},           // a third dot
    {"./x.o", 3, false},          // the slash ends the component "."
    {"../x.o", 4, false},
    {"dir/.x", -1, true},         // a leading dot after a slash
    {"dir/x.", -1, false},
    {"dir\\\\x", -1, true},       // two backslashes in a row
    {"dir\\", -2, false},
    {"\\", -2, false},
    {"dir/", -2, false},          // a name ending in a slash names a directory
    {"a.b/", -2, false},
    {"dir\\/", -2, false},
    {"/", -2, false},
    // The second byte of 表 is 0x5C and separates directories like a backslash.
    {kHyo + "x.c", 3, false},
    {kHyo + ".c", -1, true},      // the dot now begins a component
    {"dir" + kHyo, -2, false},
    {kHyo + "\\x", -1, true},     // 0x5C followed by a backslash
};

TEST(CheckFileName, StatusOfSingleNames) {
    for (const NameCase& c : kNames) {
        SCOPED_TRACE("name \"" + c.name + "\"");
        TextOut out;
        RunState state(out);
        EXPECT_EQ(check_file_name(state, c.name), c.status);
        EXPECT_EQ(out.text(), "") << "printed without debug mode";

        TextOut debugOut;
        RunState debugState(debugOut);
        debugState.debugMode = true;
        EXPECT_EQ(check_file_name(debugState, c.name), c.status);
        const std::string start = "------- Check File Name -------\n";
        if (c.rejectedDuringScan) {
            EXPECT_EQ(debugOut.text(), "");
        } else {
            EXPECT_EQ(debugOut.text().compare(0, start.size(), start), 0) << debugOut.text();
        }
    }
}

TEST(CheckFileName, BaseOfEachNameGivesTheOutputNames) {
    for (const NameCase& c : kNames) {
        if (c.status < 0 || c.name.empty()) continue;
        SCOPED_TRACE("name \"" + c.name + "\"");
        TextOut out;
        RunState state(out);
        state.inputName = c.name;
        ASSERT_NE(resolve_file_names(state), -1);
        const std::string base = c.status == 0 ? c.name : c.name.substr(0, c.status);
        EXPECT_EQ(state.symbolFileName, base + ".sym");
        EXPECT_EQ(state.lineFileName, base + ".lin");
        EXPECT_EQ(state.inputName, c.status == 0 ? c.name + ".coff" : c.name);
        EXPECT_EQ(out.text(), "");
    }
}

TEST(CheckFileName, LongNamesAreNotCut) {
    TextOut out;
    RunState state(out);
    const std::string longBase(40000, 'a');  // beyond any 16-bit position
    EXPECT_EQ(check_file_name(state, longBase + ".c"), 40000);
    state.inputName = std::string(300, 'p');
    state.outputName = "dir\\" + longBase + ".abs";
    ASSERT_NE(resolve_file_names(state), -1);
    EXPECT_EQ(state.inputName, std::string(300, 'p') + ".coff");
    EXPECT_EQ(state.symbolFileName, "dir\\" + longBase + ".sym");
    EXPECT_EQ(state.lineFileName, "dir\\" + longBase + ".lin");
}

TEST(CheckFileName, CheckBlockBytes) {
    TextOut out;
    RunState state(out);
    state.debugMode = true;
    EXPECT_EQ(check_file_name(state, "dir\\x.o"), 5);
    EXPECT_EQ(out.text(),
              "------- Check File Name -------\n"
              "\x83\x74\x83\x40\x83\x43\x83\x8b:dir\\x.o\n"
              "yen:0\ndot:1\nfn :1\next:1\ni  :7\n"
              "-------------------------------\n\n");

    TextOut out2;
    RunState state2(out2);
    state2.debugMode = true;
    EXPECT_EQ(check_file_name(state2, "c:\\a.b.\\"), -2);
    EXPECT_EQ(out2.text(), check_block("c:\\a.b.\\", 1, 0, 0, 0, 8));

    // A slash leaves every counter at 0, the backslash counter included.
    TextOut out3;
    RunState state3(out3);
    state3.debugMode = true;
    EXPECT_EQ(check_file_name(state3, "../x.o"), 4);
    EXPECT_EQ(check_file_name(state3, "v1.2/"), -2);
    EXPECT_EQ(out3.text(), check_block("../x.o", 0, 1, 1, 1, 6) + check_block("v1.2/", 0, 0, 0, 0, 5));
}

struct ResolveCase {
    std::string input, output;
    std::string symbols, lines, openedInput;
};

TEST(ResolveFileNames, DerivedNames) {
    const std::vector<ResolveCase> cases = {
        {"prog.coff", "", "prog.sym", "prog.lin", "prog.coff"},
        {"prog", "", "prog.sym", "prog.lin", "prog.coff"},
        {"prog", "out.abs", "out.sym", "out.lin", "prog.coff"},
        {"prog.coff", "out", "out.sym", "out.lin", "prog.coff"},
        {"src\\prog.x", "c:\\obj\\o.b.", "c:\\obj\\o.b..sym", "c:\\obj\\o.b..lin", "src\\prog.x"},
        {"../fw.coff", "out.d/z", "out.d/z.sym", "out.d/z.lin", "../fw.coff"},
        {"./build/fw", "", "./build/fw.sym", "./build/fw.lin", "./build/fw.coff"},
        {"a.b.", "", "a.b..sym", "a.b..lin", "a.b..coff"},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.input + " -o " + c.output);
        TextOut out;
        RunState state(out);
        state.inputName = c.input;
        state.outputName = c.output;
        EXPECT_NE(resolve_file_names(state), -1);
        EXPECT_EQ(state.symbolFileName, c.symbols);
        EXPECT_EQ(state.lineFileName, c.lines);
        EXPECT_EQ(state.inputName, c.openedInput);
        EXPECT_EQ(state.outputName, c.output);
        EXPECT_EQ(out.text(), "");
    }
}

TEST(ResolveFileNames, Failures) {
    struct Case {
        std::string input, output, text;
    };
    // Only the missing input name is followed by the usage line.
    const std::vector<Case> cases = {
        {"", "", kNoInput + kUsage},
        {"", "out.abs", kNoInput + kUsage},
        {".x", "", ".x" + kBadInput},
        {"a.", "out", "a." + kBadInput},
        {"dir\\", "", kNoInput},
        {"prog", "a.b.c", "a.b.c" + kBadOutput},
        {"prog.coff", "o.", "o." + kBadOutput},
        {"prog.coff", "a\\", kNoOutput},
        {"prog.coff", "outdir/", kNoOutput},
        {"dir/", "", kNoInput},
        {"prog", "\\\\", "\\\\" + kBadOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input \"" + c.input + "\" output \"" + c.output + "\"");
        TextOut out;
        RunState state(out);
        state.inputName = c.input;
        state.outputName = c.output;
        EXPECT_EQ(resolve_file_names(state), -1);
        EXPECT_EQ(out.text(), c.text);
        EXPECT_EQ(state.inputName, c.input) << "no \".coff\" on a failed call";
        EXPECT_EQ(state.symbolFileName, "");
        EXPECT_EQ(state.lineFileName, "");
    }
}

const std::string kFileBlockStart = "---------- File Name ----------\n";
const std::string kInputLabel = "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b:";    // 入力ファイル:
const std::string kOutputLabel = "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b:";   // 出力ファイル:
const std::string kSymbolsLabel = "\x8f\x6f\x97\xcd\x83\x56\x83\x93\x83\x7b\x83\x8b:";  // 出力シンボル:
const std::string kLinesLabel = "\x8f\x6f\x97\xcd\x83\x89\x83\x43\x83\x93No:";          // 出力ラインNo:

TEST(ResolveFileNames, DebugBlocksWithOutputName) {
    TextOut out;
    RunState state(out);
    state.debugMode = true;
    state.inputName = "prog";
    state.outputName = "out.abs";
    ASSERT_NE(resolve_file_names(state), -1);
    EXPECT_EQ(out.text(), check_block("prog", 0, 0, 4, 0, 4) +
                              check_block("out.abs", 0, 1, 3, 3, 7) + kFileBlockStart +
                              kInputLabel + "prog.coff\n" + kOutputLabel + "out.abs\n" +
                              kSymbolsLabel + "out.sym\n" + kLinesLabel + "out.lin\n" +
                              "stat_i:0\nstat_o:3\n" + kEnd);
}

TEST(ResolveFileNames, DebugBlocksWithoutOutputNameShowStatOZero) {
    TextOut out;
    RunState state(out);
    state.debugMode = true;
    state.inputName = "dir\\prog.coff";
    ASSERT_NE(resolve_file_names(state), -1);
    EXPECT_EQ(out.text(), check_block("dir\\prog.coff", 0, 1, 4, 4, 13) + kFileBlockStart +
                              kInputLabel + "dir\\prog.coff\n" + kOutputLabel + "\n" +
                              kSymbolsLabel + "dir\\prog.sym\n" + kLinesLabel +
                              "dir\\prog.lin\n" + "stat_i:8\nstat_o:0\n" + kEnd);
}

TEST(ResolveFileNames, DebugOutputOfFailures) {
    struct Case {
        std::string input, output, text;
    };
    const std::vector<Case> cases = {
        // Rejected during the scan: no block, and the output name is never checked.
        {".x", "dir\\", ".x" + kBadInput},
        // Rejected at the end: its block comes first.
        {"a.", "", check_block("a.", 0, 1, 1, 0, 2) + "a." + kBadInput},
        {"dir\\", "", check_block("dir\\", 1, 0, 0, 0, 4) + kNoInput},
        {"sample.coff", "../a.b.c", check_block("sample.coff", 0, 1, 6, 4, 11) + "../a.b.c" + kBadOutput},
        {"sample.coff", "out\\",
         check_block("sample.coff", 0, 1, 6, 4, 11) + check_block("out\\", 1, 0, 0, 0, 4) + kNoOutput},
        {"", "", kNoInput + kUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input \"" + c.input + "\" output \"" + c.output + "\"");
        TextOut out;
        RunState state(out);
        state.debugMode = true;
        state.inputName = c.input;
        state.outputName = c.output;
        EXPECT_EQ(resolve_file_names(state), -1);
        EXPECT_EQ(out.text(), c.text);
    }
}

}  // namespace
}  // namespace dravont
