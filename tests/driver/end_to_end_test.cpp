// Runs the built dravont binary on the real fixtures and on failure cases,
// comparing standard output bytes, exit status and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace {

const fs::path kData = DRAVONT_TEST_DATA;
const std::string kBinary = DRAVONT_BINARY;

using coff_test::kRealFixtures;

// " 入力ファイルの形式に誤りがあります。" in CP932.
const std::string kMalformed =
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae\x82\xc9"
    "\x8c\xeb\x82\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";

// " ファイルが有りません！！" in CP932 and in UTF-8.
const std::string kNoSuchFile =
    " \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x97\x4c\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
    "\x81\x49\x81\x49";
const std::string kNoSuchFileUtf8 = u8" ファイルが有りません！！";
// " 出力ファイルを作成できません。" in CP932.
const std::string kCannotCreate =
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8d\xec\x90\xac\x82\xc5"
    "\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42";

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

using Result = coff_test::ProcessResult;

Result run(const fs::path& dir, const std::vector<std::string>& words) {
    return coff_test::run_process(kBinary, words, dir);
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = coff_test::make_temp_dir("dravont-e2e-");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            names.push_back(fs::relative(e.path(), dir_).generic_string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(EndToEnd, RealFixturesGiveTheExpectedFiles) {
    for (const char* name : kRealFixtures) {
        const std::string input = std::string(name) + ".coff";
        fs::copy_file(kData / input, dir_ / input, fs::copy_options::overwrite_existing);
        const std::string counts = read_file(kData / (std::string(name) + ".expected.counts"));
        const Result r = run(dir_, {input});
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, "GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\nUsage:" + kBinary + " " +
                             input + "\ncomplete " + counts.substr(0, counts.find('\n')) + "\n")
            << name;
        const std::string sym = read_file(dir_ / (std::string(name) + ".sym"));
        const std::string lin = read_file(dir_ / (std::string(name) + ".lin"));
        EXPECT_EQ(sym, read_file(kData / (std::string(name) + ".expected.sym"))) << name;
        EXPECT_EQ(lin, read_file(kData / (std::string(name) + ".expected.lin"))) << name;

        // -debug changes standard output only.
        const Result d = run(dir_, {"-debug", input});
        EXPECT_EQ(d.status, 0) << name;
        EXPECT_EQ(read_file(dir_ / (std::string(name) + ".sym")), sym) << name;
        EXPECT_EQ(read_file(dir_ / (std::string(name) + ".lin")), lin) << name;
        EXPECT_NE(d.out.find("complete " + counts.substr(0, counts.find('\n')) + "\n"),
                  std::string::npos);
    }
    // Nothing but the inputs and the outputs: no temporary file is left.
    EXPECT_EQ(files().size(), 3 * std::size(kRealFixtures));
}

TEST_F(EndToEnd, OutputNameChoosesTheBaseAndInputWithoutExtensionGetsCoff) {
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "prog.coff");
    fs::create_directory(dir_ / "out");
    const Result r = run(dir_, {"prog", "-o", "out/result.abs"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(dir_ / "out/result.sym"), read_file(kData / "multi_h_O0.expected.sym"));
    EXPECT_EQ(read_file(dir_ / "out/result.lin"), read_file(kData / "multi_h_O0.expected.lin"));
    EXPECT_EQ(files(), (std::vector<std::string>{"out", "out/result.lin", "out/result.sym", "prog.coff"}));
}

TEST_F(EndToEnd, MalformedInputLeavesExistingFilesUntouched) {
    const std::string image = read_file(kData / "types_300_O0.coff");
    // Cut inside the symbol table: the conversion meets the end of the file.
    write_file(dir_ / "cut.coff", image.substr(0, image.size() - 600));
    write_file(dir_ / "cut.sym", "old symbols\n");
    write_file(dir_ / "cut.lin", "old lines\n");
    for (const char* mode : {"", "-debug"}) {
        std::vector<std::string> words = {"cut.coff"};
        if (*mode) words.insert(words.begin(), mode);
        const Result r = run(dir_, words);
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.out.find("cut.coff" + kMalformed + "\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("complete"), std::string::npos);
        EXPECT_EQ(read_file(dir_ / "cut.sym"), "old symbols\n");
        EXPECT_EQ(read_file(dir_ / "cut.lin"), "old lines\n");
        EXPECT_EQ(files(), (std::vector<std::string>{"cut.coff", "cut.lin", "cut.sym"}));
    }
}

TEST_F(EndToEnd, UncreatableOutputEndsWithStatusOne) {
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "prog.coff");
    const Result r = run(dir_, {"prog.coff", "-o", "missing_dir/x.abs"});
    EXPECT_EQ(r.status, 1);
    // "missing_dir/x.sym 出力ファイルを作成できません。 (reason)"
    EXPECT_NE(r.out.find("missing_dir/x.sym \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0"
                         "\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42 ("),
              std::string::npos)
        << r.out;
    EXPECT_EQ(files(), std::vector<std::string>{"prog.coff"});
}

TEST_F(EndToEnd, NeverWritesOverItsInput) {
    const std::string image = read_file(kData / "multi_h_O0.coff");
    write_file(dir_ / "prog.sym", image);
    write_file(dir_ / "prog.lin", image);
    // " 出力ファイル名が入力ファイル名と同じです。"
    const std::string same =
        " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
        "\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc6\x93\xaf\x82\xb6\x82\xc5\x82\xb7\x81\x42\n\n";
    // The last case names the input by another path to the same file.
    const struct {
        std::vector<std::string> words;
        std::string named;
    } cases[] = {{{"prog.sym"}, "prog.sym"},
                 {{"prog.lin", "-o", "prog.x"}, "prog.lin"},
                 {{(dir_ / "prog.sym").string(), "-o", "prog.abs"}, "prog.sym"}};
    for (const auto& c : cases) {
        const Result r = run(dir_, c.words);
        EXPECT_EQ(r.status, 1) << c.named;
        EXPECT_NE(r.out.find(c.named + same), std::string::npos) << r.out;
        EXPECT_EQ(read_file(dir_ / "prog.sym"), image);
        EXPECT_EQ(read_file(dir_ / "prog.lin"), image);
    }
}

TEST_F(EndToEnd, RelocatableObjectIsRefused) {
    fs::copy_file(kData / "object_h.obj", dir_ / "object_h.obj");
    const Result r = run(dir_, {"object_h.obj"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(" f_opthdr=0\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(files(), std::vector<std::string>{"object_h.obj"});
}

TEST_F(EndToEnd, FailureEndingsReturnStatusOne) {
    const struct {
        std::vector<std::string> words;
        std::string tail;
    } cases[] = {
        {{}, "dravont [InputFileName] -o [OutputFileName]\n\n"},
        {{"-debug", "x.coff", "-o"}, "dravont [InputFileName] -o [OutputFileName]\n\n"},
        {{"a.b.c"}, ""},
        {{"nothere"}, "nothere.coff \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x97\x4c\x82\xe8\x82\xdc"
                      "\x82\xb9\x82\xf1\x81\x49\x81\x49"},
    };
    for (const auto& c : cases) {
        const Result r = run(dir_, c.words);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(EndToEnd, SlashesSeparateDirectories) {
    const std::string image = read_file(kData / "multi_h_O0.coff");
    for (const char* sub : {"build", "v1.2", "sub", "out.d"}) fs::create_directory(dir_ / sub);
    for (const char* input : {"fw.coff", "build/fw.coff", "v1.2/fw.coff"}) write_file(dir_ / input, image);
    const struct {
        std::string cwd;
        std::vector<std::string> words;
        std::string base;  // where the output files must land
    } cases[] = {
        {"", {"./build/fw.coff"}, "build/fw"},
        {"sub", {"../fw.coff"}, "fw"},
        {"", {"v1.2/fw.coff"}, "v1.2/fw"},
        {"", {"fw.coff", "-o", "out.d/z"}, "out.d/z"},
    };
    for (const auto& c : cases) {
        const Result r = run(dir_ / c.cwd, c.words);
        EXPECT_EQ(r.status, 0) << c.base << r.out;
        EXPECT_EQ(read_file(dir_ / (c.base + ".sym")), read_file(kData / "multi_h_O0.expected.sym")) << c.base;
        EXPECT_EQ(read_file(dir_ / (c.base + ".lin")), read_file(kData / "multi_h_O0.expected.lin")) << c.base;
    }
    // A name ending in a slash names a directory, not the base of two files.
    const Result r = run(dir_, {"fw.coff", "-o", "outdir/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.out, "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc"
                                 "\x97\xcd\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n"))
        << r.out;
    EXPECT_EQ(files(), (std::vector<std::string>{
                           "build", "build/fw.coff", "build/fw.lin", "build/fw.sym", "fw.coff", "fw.lin",
                           "fw.sym", "out.d", "out.d/z.lin", "out.d/z.sym", "sub", "v1.2",
                           "v1.2/fw.coff", "v1.2/fw.lin", "v1.2/fw.sym"}));
}

TEST_F(EndToEnd, FailedRunReplacesNeitherFile) {
    // The line file cannot be replaced: the symbol file must stay as it was.
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "fw.coff");
    fs::create_directory(dir_ / "z.lin");
    write_file(dir_ / "z.sym", "OLD\n");
    const Result r = run(dir_, {"fw.coff", "-o", "z"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.out, "z.lin" + kCannotCreate + " (Is a directory)\n\n")) << r.out;
    EXPECT_EQ(read_file(dir_ / "z.sym"), "OLD\n");
    EXPECT_EQ(files(), (std::vector<std::string>{"fw.coff", "z.lin", "z.sym"}));
}

TEST_F(EndToEnd, LongestLegalNamesConvert) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows limits the length of the whole path";
#endif
    // 255 bytes is the longest name of one path component on Linux.
    const std::string base(250, 'n');
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / (base + ".coff"));
    const Result r = run(dir_, {base + ".coff"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(dir_ / (base + ".sym")), read_file(kData / "multi_h_O0.expected.sym"));
    EXPECT_EQ(read_file(dir_ / (base + ".lin")), read_file(kData / "multi_h_O0.expected.lin"));
    // Outputs of 256 bytes are one too many.
    const std::string tooLong(252, 'm');
    const Result t = run(dir_, {base + ".coff", "-o", tooLong});
    EXPECT_EQ(t.status, 1);
    EXPECT_TRUE(ends_with(t.out, tooLong + ".sym" + kCannotCreate + " (File name too long)\n\n")) << t.out;
    EXPECT_EQ(files(), (std::vector<std::string>{base + ".coff", base + ".lin", base + ".sym"}));
}

TEST_F(EndToEnd, InputWithoutExtensionIsTheFileItselfWhenNoCoffExists) {
    const std::string inputLabel = "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b:";  // 入力ファイル:
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "fw");
    const Result r = run(dir_, {"-debug", "fw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(inputLabel + "fw\n"), std::string::npos);
    EXPECT_EQ(read_file(dir_ / "fw.sym"), read_file(kData / "multi_h_O0.expected.sym"));
    // NAME.coff, when it exists, is still the one read.
    fs::copy_file(kData / "types_300_O0.coff", dir_ / "fw.coff");
    EXPECT_EQ(run(dir_, {"fw"}).status, 0);
    EXPECT_EQ(read_file(dir_ / "fw.sym"), read_file(kData / "types_300_O0.expected.sym"));
    // A directory is no file: the message names NAME.coff.
    fs::create_directory(dir_ / "d");
    const Result d = run(dir_, {"d"});
    EXPECT_EQ(d.status, 1);
    EXPECT_TRUE(ends_with(d.out, "d.coff" + kNoSuchFile)) << d.out;
}

TEST_F(EndToEnd, MessagesFollowTheLocale) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows follows the console's code page, not LC_ALL";
#endif
    const std::string utf8 = "nothere.coff" + kNoSuchFileUtf8;
    const std::string sjis = "nothere.coff" + kNoSuchFile;
    const struct {
        std::string locale;
        std::vector<std::string> words;
        std::string tail;
    } cases[] = {
        {"C.UTF-8", {"nothere"}, utf8},
        {"C.UTF-8", {"--sjis", "nothere"}, sjis},
        {"C.UTF-8", {"--sjis", "nothere", "--utf8"}, utf8},  // the last one given wins
        {"C", {"nothere"}, utf8},  // the C locale is taken as UTF-8
        {"POSIX", {"nothere"}, utf8},
        {"C", {"--sjis", "nothere"}, sjis},
        {"C.SJIS", {"nothere"}, sjis},  // a locale named but not installed, by its character set
        {"C.SJIS", {"--utf8", "--sjis", "nothere"}, sjis},
        {"C.SJIS", {"--utf8", "nothere"}, utf8},
    };
    for (const auto& c : cases) {
        const Result r = coff_test::run_process(kBinary, c.words, dir_, c.locale);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(ends_with(r.out, c.tail)) << c.locale << " " << r.out;
    }
    // The output files are the same bytes in every locale.
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "fw.coff");
    EXPECT_EQ(coff_test::run_process(kBinary, {"fw.coff"}, dir_, "C.UTF-8").status, 0);
    EXPECT_EQ(read_file(dir_ / "fw.sym"), read_file(kData / "multi_h_O0.expected.sym"));
    EXPECT_EQ(read_file(dir_ / "fw.lin"), read_file(kData / "multi_h_O0.expected.lin"));
}

TEST_F(EndToEnd, DiagnosticsAfterStandardOutputInOneFile) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows takes the language from the user interface, not LANG";
#endif
    // A build log that takes both streams, in a shell with no locale set and
    // in a Japanese one: each diagnostic comes after the message it explains.
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "fw.coff");
    const std::vector<std::string> noLocale = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG", "LANGUAGE"};
    std::vector<std::string> japanese = noLocale;
    japanese.push_back("LANG=ja_JP.UTF-8");
    const std::string head = "GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\nUsage:" + kBinary;
    const std::string noOutput = u8"出力ファイル名が入力されていません。\n\ndravont [InputFileName] -o [OutputFileName]\n\n";
    const struct {
        std::vector<std::string> environment;
        std::vector<std::string> words;
        std::string out;
    } cases[] = {
        {noLocale, {"nothere"},
         head + " nothere\nnothere.coff" + kNoSuchFileUtf8 +
             "\ndravont: error: nothere.coff: cannot read the input file: No such file or directory\n"
             "dravont: hint: check the name and the directory; a name without extension is read as NAME.coff, "
             "or else as NAME itself\n"},
        {noLocale, {"fw.coff", "-v"},
         head + " fw.coff -v\ndravont: warning: unknown option ignored: -v\ncomplete symbols=25 lineCount=59\n"},
        {japanese, {"fw.coff", "-o"},
         head + " fw.coff\n" + noOutput +
             u8"dravont: 対処: -o の後に出力名を書くか（dravont 入力ファイル -o 出力ファイル）、-o を省いて"
             u8"入力ファイル名から名付けてください。\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words[0] + " " + c.environment.back());
        const Result r = coff_test::run_process(kBinary, c.words, dir_, coff_test::ProcessSetup{c.environment, true});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(EndToEnd, DiagnosticsOnStandardError) {
    // Standard output and standard error are two pipes here.
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "fw.coff");
    fs::copy_file(kData / "types_300_O0.coff", dir_ / "both.coff");
    fs::copy_file(kData / "types_300_O0.coff", dir_ / "both");
    fs::create_directory(dir_ / "d.coff");
    const std::string warning = "dravont: warning: ";
    const std::string noFile =
        "dravont: error: nothere.coff: cannot read the input file: No such file or directory\n"
        "dravont: hint: check the name and the directory; a name without extension is read as NAME.coff, "
        "or else as NAME itself\n";
    const struct {
        std::vector<std::string> words;
        int status;
        std::string err;
    } cases[] = {
        {{"fw.coff"}, 0, ""},
        {{"-debug", "fw.coff", "--sjis"}, 0, ""},
        {{"fw.coff", "--debug", "-v", "other.coff"}, 0,
         warning + "unknown option ignored: --debug\n" + warning + "unknown option ignored: -v\n" +
             warning + "second input name ignored: other.coff\n"},
        {{"both"}, 0,
         warning + "both.coff and both both exist: both.coff was read\n"
                   "dravont: hint: to convert both instead, name it with an extension: cp both both.elf && "
                   "dravont both.elf\n"},
        {{"d.coff"}, 1,
         "dravont: error: d.coff: cannot read the input file: Is a directory\n"
         "dravont: hint: name the executable, not a directory\n"},
        {{"nothere"}, 1, noFile},
        {{"-v", "fw.coff"}, 1,
         warning + "unknown option taken as the input name: -v\n" + warning +
             "second input name ignored: fw.coff\n" +
             "dravont: error: -v.coff: cannot read the input file: No such file or directory\n" +
             noFile.substr(noFile.find("dravont: hint"))},
        {{"v1.2/fw.coff"}, 1,
         "dravont: error: v1.2/fw.coff: cannot read the input file: No such file or directory\n" +
             noFile.substr(noFile.find("dravont: hint"))},
        {{"fw.v1.2.elf"}, 1,
         "dravont: error: fw.v1.2.elf: the input file name breaks the naming rule: \"fw.v1.2.elf\" has a second "
         "dot with more after it\n"
         "dravont: note: each part of a path may hold one dot, the one before its extension, and may not start "
         "with one (\".\" and \"..\" aside)\n"
         "dravont: hint: rename the file, e.g. to fw_v1_2.elf, and convert that\n"},
        {{"fw.coff", "-o", "out.v2/"}, 1,
         "dravont: error: out.v2/: the output name ends in a directory separator (/ or \\), so it names a "
         "directory; -o takes the base of the two file names\n"
         "dravont: hint: add the base, e.g. -o out.v2/fw to write out.v2/fw.sym and out.v2/fw.lin\n"},
    };
    for (const auto& c : cases) {
        std::string echo;
        for (const std::string& w : c.words) echo += w == "-o" ? "" : " " + w;
        SCOPED_TRACE(echo);
        const Result r = run(dir_, c.words);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        // Standard output is what it always was.
        const std::string head = "GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\nUsage:" + kBinary + echo + "\n";
        EXPECT_EQ(r.out.compare(0, head.size(), head), 0) << r.out;
    }
}

}  // namespace
