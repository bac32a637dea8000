// Runs the built dravont binary on the real fixtures and on failure cases,
// comparing standard output bytes, exit status and the files it leaves.
#include <gtest/gtest.h>

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

}  // namespace
