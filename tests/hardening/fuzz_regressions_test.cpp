// Replays every input the fuzzer ever failed on, the real fixtures and the
// helper-built images through the invariants the fuzz target checks.
#include <gtest/gtest.h>

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
    size_t count = 0;
    for (const char* dir : {DRAVONT_FUZZ_REGRESSIONS, DRAVONT_TEST_DATA}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (std::string(dir) == DRAVONT_TEST_DATA && ext != ".coff" && ext != ".obj") continue;
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
