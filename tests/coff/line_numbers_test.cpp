#include "coff/line_numbers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "coff/headers.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "driver/run.h"
#include "support/coff_builder.h"

using namespace dravont;
using namespace coff_test;

namespace {

const std::string kEmpty = std::string(32, ' ') + "|        |     |        |      |      |\n";

struct Loaded {
    TextOut out;
    RunState state{out};
    uint32_t table = 0;
    Loaded(bool debug, std::vector<LineRec> lines, uint32_t nsymsOverride = 0) {
        CoffBuilder b;
        b.sections = {section(".text", std::move(lines))};
        b.add(function_symbol("_f", 0x100, 0x24, 2, b.line_offset(0), 4));
        if (nsymsOverride) b.nsyms = nsymsOverride;
        table = b.line_offset(0);
        allocate_slots(state);
        state.image.assign(b.build());
        decode_file_header(state);
        choose_target_family(state);
        state.stringTable = state.fileHeader->f_symptr + 18ull * state.fileHeader->f_nsyms;
        state.debugMode = debug;
    }
};

TEST(LineNumbers, RowsOfLineEntries) {
    Loaded l(true, {{0, 0}, {0x104, 7}, {0x10A, 9999}, {0x112, 10000}, {0xABCDEF01, 0xFFFFFFFF}});
    for (uint32_t k = 1; k <= 4; ++k) decode_line_entry(l.state, l.table, k);
    EXPECT_EQ(l.out.text(),
              "     000001 |  00000104  |00000007|+0007   |" + kEmpty +
              "     000002 |  0000010A  |0000270F|+9999   |" + kEmpty +
              // five digits widen the row by one column
              "     000003 |  00000112  |00002710|+10000   |" + kEmpty +
              "     000004 |  ABCDEF01  |FFFFFFFF|+4294967295   |" + kEmpty);
    EXPECT_EQ(l.state.lineEntry->l_addr, 0xABCDEF01u);
    EXPECT_EQ(l.state.lineEntry->l_lnno, 0xFFFFFFFFu);
}

TEST(LineNumbers, FirstEntryContinuesWithTheFunctionRow) {
    Loaded l(true, {{0, 0}});
    decode_line_entry(l.state, l.table, 0);
    EXPECT_EQ(l.out.text(),
              "     000000 |  00000000  |00000000|00000000|_f" + std::string(30, ' ') +
                  "|00000100|0001 |0024(i) |  02  |  01  |Function    :00000000 00000000  "
                  "00000058 00000004  0000\n");
    // The re-entry replaced both slots with the function's records.
    EXPECT_EQ(std::string(l.state.symbolEntry->n_name, 2), "_f");
    EXPECT_EQ(l.state.auxEntry->function.x_endndx, 4u);
}

TEST(LineNumbers, DebugOffLeavesSymbolSlotsAlone) {
    Loaded l(false, {{0, 0}});
    std::memcpy(l.state.symbolEntry->n_name, "keep", 5);
    l.state.auxEntry->function.x_endndx = 1234;
    decode_line_entry(l.state, l.table, 0);
    EXPECT_EQ(l.out.text(), "");
    EXPECT_STREQ(l.state.symbolEntry->n_name, "keep");
    EXPECT_EQ(l.state.auxEntry->function.x_endndx, 1234u);
}

TEST(LineNumbers, SymbolIndexOutOfRangeIsNotedAndTheRunGoesOn) {
    Loaded l(true, {{2, 0}, {0x99, 0}});
    decode_line_entry(l.state, l.table, 0);  // index 2 == f_nsyms
    decode_line_entry(l.state, l.table, 1);
    EXPECT_EQ(l.out.text(),
              "     000000 |  00000002  |00000000|(symbol index out of range)\n"
              "     000001 |  00000099  |00000000|(symbol index out of range)\n");
}

TEST(LineNumbers, EntryOutsideTheImageIsMalformed) {
    Loaded l(false, {{0, 0}});
    EXPECT_THROW(decode_line_entry(l.state, static_cast<uint32_t>(l.state.image.size() - 7), 0),
                 MalformedInput);
    // A large k cannot wrap the position back into the file.
    EXPECT_THROW(decode_line_entry(l.state, l.table, 0x20000000), MalformedInput);
    try {
        decode_line_entry(l.state, 0xFFFFFFF8, 2);
        ADD_FAILURE();
    } catch (const MalformedInput& e) {
        EXPECT_EQ(e.offset(), 0x100000008ull);
        EXPECT_EQ(e.record(), "line-number entry 2");
    }
}

}  // namespace
