// The argument scan, its echo and debug listing, and whole runs that end
// before any input is decoded.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "common/text_out.h"
#include "driver/run.h"
#include "support/platform.h"

namespace dravont {
namespace {

// 出力ファイル名が入力されていません。
const std::string kNoOutput =
    "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
    "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n";
// 入力ファイル名が入力されていません。
const std::string kNoInput =
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
    "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n";
// " ファイルが有りません！！", printed without a line end
const std::string kNoSuchFile =
    " \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x97\x4c\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
    "\x81\x49\x81\x49";
const std::string kArgCount = "\x88\xf8\x90\x94\x82\xcc\x90\x94:";  // 引数の数:
const std::string kArgument = "\x88\xf8\x90\x94 ";                  // 引数 + blank
const std::string kUsage = "dravont [InputFileName] -o [OutputFileName]\n\n";
const std::string kBanner = "GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\n";

struct ScanCase {
    std::vector<std::string> words;  // after the program path
    std::string echo;
    std::string input, output;
    bool debug;
};

TEST(ParseCommandLine, ScanAndEcho) {
    const std::vector<ScanCase> cases = {
        {{}, "\n", "", "", false},
        {{"prog.coff"}, " prog.coff\n", "prog.coff", "", false},
        {{"prog.coff", "-o", "out"}, " prog.coff out\n", "prog.coff", "out", false},
        {{"-O", "out", "prog"}, " out prog\n", "prog", "out", false},
        // The word after -o is the output name whatever it is.
        {{"-o", "-debug", "x"}, " -debug x\n", "x", "-debug", false},
        {{"-o", "-o", "x"}, " -o x\n", "x", "-o", false},
        {{"-o", "a", "-o", "b"}, " a b\n", "", "b", false},
        {{"first", "second"}, " first second\n", "first", "", false},
        // An empty word leaves the input name empty and is echoed as a lone blank.
        {{"", "x"}, "  x\n", "x", "", false},
        {{"in", "-o", ""}, " in \n", "in", "", false},
        // Options match as whole words, case and all.
        {{"-DEBUG"}, " -DEBUG\n", "-DEBUG", "", false},
        {{"-d", "-x"}, " -d -x\n", "-d", "", false},
        {{"-debugx", "-oo"}, " -debugx -oo\n", "-debugx", "", false},
    };
    for (const ScanCase& c : cases) {
        std::vector<std::string> args = {"dravont"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        std::string trace;
        for (const std::string& w : c.words) trace += " [" + w + "]";
        SCOPED_TRACE(trace);
        TextOut out;
        RunState state(out);
        EXPECT_EQ(parse_command_line(state, args), 0);
        EXPECT_EQ(out.text(), c.echo);
        EXPECT_EQ(state.inputName, c.input);
        EXPECT_EQ(state.outputName, c.output);
        EXPECT_EQ(state.debugMode, c.debug);
    }
}

TEST(ParseCommandLine, DebugListingBytes) {
    TextOut out;
    RunState state(out);
    const std::vector<std::string> args = {"/opt/bin/dravont", "-debug", "prog.coff", "-o", "out"};
    EXPECT_EQ(parse_command_line(state, args), 0);
    EXPECT_TRUE(state.debugMode);
    EXPECT_EQ(state.inputName, "prog.coff");
    EXPECT_EQ(state.outputName, "out");
    EXPECT_EQ(out.text(),
              " -debug prog.coff out\n"
              "\x88\xf8\x90\x94\x82\xcc\x90\x94:5\n"
              "\x88\xf8\x90\x94 1:/opt/bin/dravont\n"
              "\x88\xf8\x90\x94 2:-debug\n"
              "\x88\xf8\x90\x94 3:prog.coff\n"
              "\x88\xf8\x90\x94 4:-o\n"
              "\x88\xf8\x90\x94 5:out\n"
              "\n");
}

TEST(ParseCommandLine, DebugAfterTheInputNameOrLast) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"t", "in", "-debug"},
          std::vector<std::string>{"t", "in", "-debug", "x"}}) {
        TextOut out;
        RunState state(out);
        EXPECT_EQ(parse_command_line(state, args), 0);
        EXPECT_TRUE(state.debugMode);
        EXPECT_EQ(state.inputName, "in");
        std::string expected;
        for (size_t k = 1; k < args.size(); ++k) expected += " " + args[k];
        expected += "\n" + kArgCount + std::to_string(args.size()) + "\n";
        for (size_t k = 0; k < args.size(); ++k) {
            expected += kArgument + std::to_string(k + 1) + ":" + args[k] + "\n";
        }
        EXPECT_EQ(out.text(), expected + "\n");
    }
}

TEST(ParseCommandLine, OutputOptionAsLastWordEndsTheScan) {
    struct Case {
        std::vector<std::string> args;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{"t", "-o"}, "\n" + kNoOutput + kUsage},
        {{"t", "in", "-O"}, " in\n" + kNoOutput + kUsage},
        // Debug mode is on already, yet the argument listing is not printed.
        {{"t", "-debug", "in", "-o"}, " -debug in\n" + kNoOutput + kUsage},
        {{"t", "-o", "a", "-o"}, " a\n" + kNoOutput + kUsage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + " after " + std::to_string(c.args.size() - 2) + " words");
        TextOut out;
        RunState state(out);
        EXPECT_EQ(parse_command_line(state, c.args), -1);
        EXPECT_EQ(out.text(), c.text);
    }
}

// A fresh directory whose path has no dot, so that the names built in it are
// judged by their last part alone.
std::string make_temp_dir() { return coff_test::make_temp_dir("dravont_cl_").string(); }

TEST(RunCommandLine, NoArguments) {
    TextOut out;
    EXPECT_EQ(run_command_line({"/usr/local/bin/dravont"}, out), 1);
    EXPECT_EQ(out.text(), kBanner + "Usage:/usr/local/bin/dravont\n" + kNoInput + kUsage);
}

TEST(RunCommandLine, OutputOptionLast) {
    TextOut out;
    EXPECT_EQ(run_command_line({"dravont", "-debug", "x.coff", "-o"}, out), 1);
    EXPECT_EQ(out.text(), kBanner + "Usage:dravont -debug x.coff\n" + kNoOutput + kUsage);
}

TEST(RunCommandLine, MissingInputFile) {
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    struct Case {
        std::string given, reported;
    };
    const std::vector<Case> cases = {
        {dir + "/missing", dir + "/missing.coff"},
        {dir + "/missing.coff", dir + "/missing.coff"},
        {dir + "/missing.o", dir + "/missing.o"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        TextOut out;
        EXPECT_EQ(run_command_line({"dravont", c.given}, out), 1);
        EXPECT_EQ(out.text(), kBanner + "Usage:dravont " + c.given + "\n" + c.reported + kNoSuchFile);
    }
    // A directory is no input file either.
    const std::string sub = dir + "/sub.coff";
    ASSERT_TRUE(std::filesystem::create_directory(sub));
    TextOut out;
    EXPECT_EQ(run_command_line({"dravont", sub, "-o", dir + "/out"}, out), 1);
    EXPECT_EQ(out.text(), kBanner + "Usage:dravont " + sub + " " + dir + "/out\n" + sub + kNoSuchFile);
    std::filesystem::remove_all(dir);
}

TEST(RunCommandLine, MissingInputFileInDebugMode) {
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string given = dir + "/nofile";
    TextOut out;
    EXPECT_EQ(run_command_line({"dravont", given, "-debug"}, out), 1);
    const std::string text(out.text());
    // Echo and listing first, then the name blocks, then the message as the very end.
    const std::string head = kBanner + "Usage:dravont " + given + " -debug\n" + kArgCount + "3\n" +
                             kArgument + "1:dravont\n" + kArgument + "2:" + given + "\n" +
                             kArgument + "3:-debug\n\n";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    EXPECT_NE(text.find("---------- File Name ----------\n"), std::string::npos);
    EXPECT_NE(text.find("stat_i:0\nstat_o:0\n-------------------------------\n\n" + given +
                        ".coff" + kNoSuchFile),
              std::string::npos)
        << text;
    const std::string tail = given + ".coff" + kNoSuchFile;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dravont
