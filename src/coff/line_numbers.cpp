#include "coff/line_numbers.h"

#include "coff/symbols.h"
#include "common/run_error.h"
#include "common/run_state.h"

namespace dravont {

namespace {

// The six empty symbol columns of a line-number row.
constexpr char kEmptySymbolColumns[] =
    "                                |        |     |        |      |      |\n";

// Completes the row of a function's first entry with the row of the symbol it
// names. The row is a diagnostic: an index the symbol table does not hold is
// noted and the run goes on, as it does without -debug.
void print_named_symbol(RunState& state, uint32_t symndx) {
    TextOut& out = state.out;
    if (symndx >= state.fileHeader->f_nsyms) {
        out.put("(symbol index out of range)\n");
        return;
    }
    try {
        decode_symbol(state, symndx);
    } catch (const MalformedInput& error) {
        out.put("(").put(error.record()).put(" unreadable)\n");
    }
}

}  // namespace

void decode_line_entry(RunState& state, uint32_t tableOffset, uint32_t k) {
    const InputImage& image = state.image;
    const uint64_t p = uint64_t{tableOffset} + uint64_t{kLineEntrySize} * k;
    require_in_image(image, p, kLineEntrySize, "line-number entry", k);
    LineEntry& e = *state.lineEntry;
    e.l_lnno = read_be32(image, p + 4);
    e.l_addr = read_be32(image, p);
    if (!state.debugMode) return;
    TextOut& out = state.out;
    out.put("     ").hex(k & 0xFFFF, 6).put(" |  ").hex(e.l_addr, 8).put("  |").hex(e.l_lnno, 8).put('|');
    if (e.l_lnno == 0) {
        print_named_symbol(state, e.l_addr);
    } else {
        out.put('+').dec_zero(e.l_lnno, 4).put("   |").put(kEmptySymbolColumns);
    }
}

}  // namespace dravont
