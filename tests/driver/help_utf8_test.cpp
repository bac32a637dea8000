// --help, --version and --utf8.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/text_out.h"
#include "driver/run.h"
#include "support/platform.h"

namespace fs = std::filesystem;
using dravont::TextOut;

namespace {

const fs::path kData = DRAVONT_TEST_DATA;

struct Outcome {
    int status;
    std::string out;
};

Outcome run(std::vector<std::string> words) {
    words.insert(words.begin(), "dravont");
    TextOut out;
    const int status = dravont::run_command_line(words, out);
    return {status, out.take()};
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HelpAndVersion, RecognisedAsWholeWordsAnywhere) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: dravont [InputFileName] [-o|-O OutputFileName]", 0), 0u) << help.out;
    for (const char* option : {"-o NAME, -O NAME", "-debug", "--utf8", "--sjis", "--help",
                               "--version", "BASE.sym", "BASE.lin", "C, POSIX", "65001",
                               "LC_MESSAGES", "Standard error", "Exit status"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
#ifdef DRAVONT_HAVE_ZSTD
    const std::string version = "dravont 1.03\nreads compressed debug sections: zlib, zstd\n";
#else
    const std::string version = "dravont 1.03\nreads compressed debug sections: zlib\n";
#endif
    const struct {
        std::vector<std::string> words;
        std::string out;
    } cases[] = {
        {{"prog.coff", "-debug", "--help"}, help.out},
        {{"-o", "--help"}, help.out},  // anywhere, even where a name would stand
        {{"--version"}, version},
        {{"x", "--version", "--help"}, version},  // the first one wins
        {{"--help", "--version"}, help.out},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.words);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
    }
    // Anything else is an ordinary word: here the input name, then missing.
    for (const char* word : {"-help", "--HELP", "--help=1", "--versions"}) {
        const Outcome r = run({word});
        EXPECT_EQ(r.status, 1) << word;
        EXPECT_EQ(r.out.rfind("GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\n", 0), 0u) << word;
    }
}

class Utf8 : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = coff_test::make_temp_dir("dravont-utf8-");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(Utf8, EveryMessageInUtf8) {
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "prog.coff");
    fs::copy_file(kData / "object_h.obj", dir_ / "object.o");
    fs::copy_file(kData / "multi_h_O0.coff", dir_ / "prog.sym");
    {
        std::ofstream bad(dir_ / "cut.coff", std::ios::binary);
        bad << "short";
    }
    const struct {
        std::vector<std::string> words;
        std::string tail;
    } cases[] = {
        {{"--utf8"}, u8"入力ファイル名が入力されていません。\n\ndravont [InputFileName] -o [OutputFileName]\n\n"},
        {{"--utf8", "a.b.c"}, u8"a.b.c 入力ファイル名に誤りがあります。\n\n"},
        {{"--utf8", "dir\\"}, u8"入力ファイル名が入力されていません。\n\n"},
        {{"--utf8", "x.coff", "-o", "a."}, u8"a. 出力ファイル名に誤りがあります。\n\n"},
        {{"--utf8", "x.coff", "-o", "d\\"}, u8"出力ファイル名が入力されていません。\n\n"},
        {{"--utf8", "x.coff", "-o"},
         u8"\n出力ファイル名が入力されていません。\n\ndravont [InputFileName] -o [OutputFileName]\n\n"},
        {{"--utf8", path("missing")}, path("missing") + u8".coff ファイルが有りません！！"},
        {{"--utf8", path("cut.coff")},
         path("cut.coff") + u8" 入力ファイルの形式に誤りがあります。\nfile header: offset 0x00000000, file size 5\n\n"},
        {{"--utf8", path("object.o")}, path("object.o") + u8" リンク済みの実行ファイルではありません。 f_opthdr=0\n\n"},
        {{"--utf8", path("prog.sym")}, path("prog.sym") + u8" 出力ファイル名が入力ファイル名と同じです。\n\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.words);
        EXPECT_EQ(r.status, 1);
        ASSERT_GE(r.out.size(), c.tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
    }
    // An output that cannot be created names the file and the reason.
    const Outcome r = run({"--utf8", path("prog.coff"), "-o", path("nodir/x.abs")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(path("nodir/x.sym") + u8" 出力ファイルを作成できません。 ("), std::string::npos);
}

TEST_F(Utf8, DebugLabelsDumpsAndUnchangedFiles) {
    // Half-width katakana bytes (0xA1-0xDF) in the file show as UTF-8 characters.
    std::string image = read_file(kData / "multi_h_O0.coff");
    std::ofstream(dir_ / "k.coff", std::ios::binary) << image;
    const Outcome plain = run({path("k.coff")});
    const std::string sym = read_file(dir_ / "k.sym"), lin = read_file(dir_ / "k.lin");
    const Outcome r = run({"-debug", path("k.coff"), "--utf8"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir_ / "k.sym"), sym);
    EXPECT_EQ(read_file(dir_ / "k.lin"), lin);
    for (const std::string& label : std::vector<std::string>
         {u8"引数の数:4\n", u8"引数 4:--utf8\n", u8"ファイル:", u8"入力ファイル:", u8"出力ファイル:\n",
          u8"出力シンボル:", u8"出力ラインNo:",
          u8"------------ 読込データファイルのダンプリスト ------------\n",
          u8"------------- 読込データメモリのダンプリスト -------------\n",
          u8"Load Byte 数 : " + std::to_string(image.size()) + "\n", u8"H8300 coffファイル\n\n",
          // 0xA8 at offset 0x0F of the file header: "ｨ" (U+FF68)
          u8"[00000000] 83 01 00 06 00 00 00 00 00 00 06 48 00 00 00 A8 | ...........H...ｨ \n"}) {
        EXPECT_NE(r.out.find(label), std::string::npos) << label;
    }
    // Nothing of the CP932 texts is left.
    EXPECT_EQ(r.out.find("\x83\x74\x83\x40\x83\x43\x83\x8b"), std::string::npos);
    EXPECT_EQ(plain.out.find(u8"ファイル"), std::string::npos);
}

TEST_F(Utf8, TextColumnOfEveryHighByte) {
    std::string bytes;
    for (int b = 0x7E; b <= 0xE1; ++b) bytes.push_back(static_cast<char>(b));
    std::ofstream(dir_ / "h.coff", std::ios::binary) << bytes;
    const Outcome r = run({"-debug", "--utf8", path("h.coff")});
    // "~" as itself; DEL (0x7F), 0x80..0xA0 as "."; 0xA1..0xDF as U+FF61..U+FF9F;
    // 0xE0, 0xE1 as ".".
    std::string column = "~" + std::string(0xA0 - 0x7F + 1, '.');
    for (char32_t cp = 0xFF61; cp <= 0xFF9F; ++cp) {
        column.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        column.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        column.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    column += "..";
    std::string joined;
    size_t at = 0, rows = 0;
    while ((at = r.out.find("| ", at)) != std::string::npos && rows < 7) {
        const size_t end = r.out.find(" \n", at);
        joined += r.out.substr(at + 2, end - at - 2);
        at = end;
        ++rows;
    }
    EXPECT_EQ(joined, column);
}

}  // namespace
