// libFuzzer target: the whole conversion on the fuzz input as the input file,
// COFF and ELF alike. Every input runs without -debug; one in four, chosen by
// a hash of its bytes (so a reproduced input takes the same path), also runs
// with -debug and is compared with the plain run. Any broken invariant aborts
// with its reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/invariants.h"

namespace {

bool with_debug(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return (h & 3) == 0;
}

}  // namespace

// Every input allocates its output buffers afresh: filling each new block
// with a pattern and holding freed ones in a large quarantine costs more
// than the conversion itself. Reads of uninitialised memory and uses after
// free are still caught by the sanitizers' other checks and a smaller
// quarantine.
extern "C" const char* __asan_default_options() {
    return "max_malloc_fill_size=0:quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> image(data, data + size);
    const std::string problem = coff_test::check_invariants(image, with_debug(data, size));
    if (!problem.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
