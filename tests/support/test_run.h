// Runs the converter in-process on an image held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coff_test {

struct RunResult {
    int status = -1;
    std::string out;  // standard output
    std::string err;  // standard error (the diagnostics channel)
    std::string sym;  // symbol file
    std::string lin;  // line file
    bool committed = false;
};

// When `entryLog` is given, the offsets of the line-number entries written
// are appended to it. `threads` as RunState::threads (0: the machine's).
RunResult run_in_memory(const std::vector<uint8_t>& image, bool debug,
                        const std::string& inputName = "test.coff",
                        std::vector<uint64_t>* entryLog = nullptr, unsigned threads = 0);

// Standard output from the file header on: what follows the two load dumps.
std::string after_dumps(const std::string& out);

}  // namespace coff_test
