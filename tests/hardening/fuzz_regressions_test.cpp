// Replays every input the fuzzer ever failed on, the real fixtures and the
// helper-built images through the invariants the fuzz target checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/coff_builder.h"
#include "support/invariants.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FuzzRegressions, EveryStoredInputKeepsTheInvariants) {
    // Every stored input: the fuzzer's findings, and the real fixtures the
    // fuzzer starts from (those refused whole among them).
    const std::string data = DRAVONT_TEST_DATA;
    const struct {
        std::string dir;
        std::vector<std::string> extensions;  // empty: every file but notes
    } places[] = {{DRAVONT_FUZZ_REGRESSIONS, {}},
                  {data, {".coff", ".obj"}},
                  {data + "/elf", {".elf"}},
                  {data + "/elf/refused", {".elf"}}};
    size_t count = 0;
    for (const auto& place : places) {
        for (const auto& entry : fs::directory_iterator(place.dir)) {
            const std::string ext = entry.path().extension().string();
            const auto& wanted = place.extensions;
            if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), ext) == wanted.end()) continue;
            if (!entry.is_regular_file() || ext == ".md") continue;
            EXPECT_EQ(coff_test::check_invariants(read_bytes(entry.path())), "") << entry.path();
            ++count;
        }
    }
    EXPECT_GE(count, 9u);
    for (uint16_t magic : {0x8300, 0x0500}) {
        EXPECT_EQ(coff_test::check_invariants(coff_test::worked_example(magic).build()), "");
    }
}

}  // namespace
