#include "output/debugger_files.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "common/run_state.h"

namespace dravont {
namespace {

// Records laid out in place against the printf formats of the two files, at
// the edges of every field: line numbers around each power of ten (five
// columns and past them), names up to and past their cut, size classes that
// fit their six columns and longer ones.
TEST(DebuggerFiles, RecordsMatchTheirPrintfFormats) {
    TextOut out;
    RunState state(out);
    MemoryOutputs outputs;
    state.outputs = &outputs;
    DebuggerFiles files(state);
    std::string lin, sym;
    char line[256];
    const uint32_t addresses[] = {0, 0x9ABCDEF0u, 0xFFFFFFFFu};
    const uint32_t lines[] = {0, 1, 9, 10, 99, 100, 9999, 10000, 99999, 100000, 1234567, 0xFFFFFFFFu};
    for (uint32_t a : addresses) {
        for (uint32_t n : lines) {
            files.line_record(a, n);
            std::snprintf(line, sizeof line, "%08" PRIX32 " %5" PRIu32 "\n", a, n);
            lin += line;
        }
    }
    const std::string names[] = {"", "_f", std::string(31, 'a'), std::string(32, 'b'), std::string(33, 'c'),
                                 std::string(65, 'd'), std::string(66, 'e')};
    const char* classes[] = {"", "(BYTE)", "(WORD)", "(LONG)", "SEVENCH"};
    for (const std::string& name : names) {
        for (const char* c : classes) {
            files.external_symbol(0x1234ABCDu, name, c);
            std::snprintf(line, sizeof line, "%08X %-32.32s%34s%-6s\n", 0x1234ABCDu, name.c_str(), "", c);
            sym += line;
            files.static_symbol(0xFFu, name, c);
            std::snprintf(line, sizeof line, "%08X %-65.65s %-6s\n", 0xFFu, name.c_str(), c);
            sym += line;
        }
    }
    EXPECT_EQ(outputs.lines().text(), lin);
    EXPECT_EQ(outputs.symbols().text(), sym);
    EXPECT_EQ(state.lineCount, static_cast<decltype(state.lineCount)>(3 * 12));
    EXPECT_EQ(state.symbolCount, static_cast<decltype(state.symbolCount)>(7 * 5 * 2));
}

}  // namespace
}  // namespace dravont
