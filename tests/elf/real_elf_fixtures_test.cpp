// Converts the real SH ELF/DWARF executables in tests/data/elf and compares
// the symbol file, the line file, the exit status and the closing counts line
// with the expected files derived from the binutils listings beside them
// (tests/data/elf/derive_expected_elf.py), with and without -debug, and
// standard error with the warning about names the cut makes alike.
//
// The fixture list is read from the committed directory: every NAME.elf
// there, with NAME.expected.sym, .lin and .counts beside it. No cross
// toolchain is needed to run this.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_run.h"

namespace fs = std::filesystem;

namespace {

const fs::path kElfData = fs::path(DRAVONT_TEST_DATA) / "elf";

// The build scripts make 34 fixtures; fewer means files went missing.
constexpr size_t kMinimumFixtures = 34;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> fixture_names() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kElfData, ec)) {
        if (entry.path().extension() == ".elf") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Expected {
    std::string sym;
    std::string lin;
    std::string completeLine;  // "complete symbols=N lineCount=M\n"
    std::string err;           // the warning about names the cut makes alike; none without the file
};

Expected expected_for(const std::string& name) {
    const fs::path base = kElfData / name;
    Expected e;
    e.sym = read_bytes(base.string() + ".expected.sym");
    e.lin = read_bytes(base.string() + ".expected.lin");
    e.completeLine = "complete " + read_bytes(base.string() + ".expected.counts");
    e.err = read_bytes(base.string() + ".expected.stderr");
    return e;
}

std::string last_line(const std::string& out) {
    if (out.empty()) return out;
    const size_t start = out.rfind('\n', out.size() - 2);
    return start == std::string::npos ? out : out.substr(start + 1);
}

class RealElfFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(RealElfFixture, GivesTheExpectedFilesWithAndWithoutDebug) {
    const std::string name = GetParam();
    const std::string bytes = read_bytes(kElfData / (name + ".elf"));
    ASSERT_FALSE(bytes.empty()) << name;
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    const Expected expected = expected_for(name);
#ifndef DRAVONT_HAVE_ZSTD
    // A build without libzstd (the Windows one) refuses zstd sections,
    // naming the way round.
    if (name.size() > 5 && name.compare(name.size() - 5, 5, "_zstd") == 0) {
        const coff_test::RunResult r = coff_test::run_in_memory(image, false, name + ".elf");
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(r.committed);
        EXPECT_NE(r.out.find("--compress-debug-sections=zlib"), std::string::npos) << r.out;
        return;
    }
#endif

    // Without -debug units are converted on several threads where the
    // machine has them; the files must not depend on how many.
    const struct {
        bool debug;
        unsigned threads;
        const char* what;
    } kModes[] = {{false, 0, "without -debug"}, {false, 1, "without -debug, one thread"},
                  {false, 4, "without -debug, four threads"}, {true, 0, "with -debug"}};
    for (const auto& mode : kModes) {
        const bool debug = mode.debug;
        SCOPED_TRACE(mode.what);
        const coff_test::RunResult r = coff_test::run_in_memory(image, debug, name + ".elf", nullptr, mode.threads);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.committed);
        EXPECT_EQ(r.sym, expected.sym);
        EXPECT_EQ(r.lin, expected.lin);
        EXPECT_EQ(r.err, expected.err);
        if (debug) {
            EXPECT_EQ(last_line(r.out), expected.completeLine);
        } else {
            // Without -debug the counts line is all the conversion prints.
            EXPECT_EQ(r.out, expected.completeLine);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Committed, RealElfFixture, ::testing::ValuesIn(fixture_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// Guards the directory scan: a lost fixture or a missing expected file would
// otherwise only shrink the table above.
TEST(RealElfFixtures, EveryFixtureHasItsListingsAndExpectedFiles) {
    const std::vector<std::string> names = fixture_names();
    EXPECT_GE(names.size(), kMinimumFixtures);
    for (const std::string& name : names) {
        for (const char* suffix :
             {".readelf-info.txt", ".readelf-ranges.txt", ".decodedline.txt", ".readelf-syms.txt",
              ".expected.sym", ".expected.lin", ".expected.counts"}) {
            EXPECT_TRUE(fs::exists(kElfData / (name + suffix))) << name << suffix;
        }
        const std::string counts = read_bytes(kElfData / (name + ".expected.counts"));
        EXPECT_EQ(counts.rfind("symbols=", 0), 0u) << name;
        EXPECT_EQ(std::count(counts.begin(), counts.end(), '\n'), 1) << name;
    }
}

}  // namespace

// Split DWARF (-gsplit-dwarf) leaves the functions and variables in .dwo
// files beside the executable: refused whole, naming the unit's .dwo file,
// nothing committed.
TEST(RealElfFixtures, SplitDwarfIsRefusedNamingTheDwoFile) {
    size_t seen = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kElfData / "refused", ec)) {
        if (entry.path().extension() != ".elf") continue;
        ++seen;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = read_bytes(entry.path());
        const std::vector<uint8_t> image(bytes.begin(), bytes.end());
        for (const bool debug : {false, true}) {
            const coff_test::RunResult r = coff_test::run_in_memory(image, debug, "split.elf");
            EXPECT_EQ(r.status, 1);
            EXPECT_FALSE(r.committed);
            EXPECT_NE(r.out.find("-gsplit-dwarf"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find(" dwo=inl_main.dwo"), std::string::npos) << r.out;
        }
    }
    EXPECT_GE(seen, 2u);
}
