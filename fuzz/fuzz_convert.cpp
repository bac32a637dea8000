// libFuzzer target: the whole conversion, with and without -debug, on the
// fuzz input as the input file. Any broken invariant aborts with its reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> image(data, data + size);
    const std::string problem = coff_test::check_invariants(image);
    if (!problem.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
