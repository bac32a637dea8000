#include "driver/elf_sequence.h"

#include <memory>

#include "common/diagnostics.h"
#include "common/ordered_work.h"
#include "common/run_state.h"
#include "elf/elf_file.h"
#include "listing/elf_listing.h"
#include "output/convert_dwarf.h"
#include "output/output_files.h"

namespace dravont {

namespace {

// More threads than this gain little on the unit counts and sizes of
// firmware, and each holds buffers of its own.
constexpr unsigned kMaxThreads = 4;

// A section by name, or its compressed .zdebug_ twin; a missing one keeps its
// name for the messages that report it missing.
ByteSpan section(const ElfFile& elf, std::string_view name) {
    ByteSpan span = elf.span(elf.find_debug(name));
    if (!span.present) span.name = name;
    return span;
}

DwarfSections dwarf_sections(const ElfFile& elf) {
    DwarfSections s;
    s.order = elf.order();
    s.info = section(elf, ".debug_info");
    s.types = section(elf, ".debug_types");
    s.abbrev = section(elf, ".debug_abbrev");
    s.str = section(elf, ".debug_str");
    s.lineStr = section(elf, ".debug_line_str");
    s.line = section(elf, ".debug_line");
    s.ranges = section(elf, ".debug_ranges");
    s.rnglists = section(elf, ".debug_rnglists");
    s.addr = section(elf, ".debug_addr");
    s.strOffsets = section(elf, ".debug_str_offsets");
    return s;
}

}  // namespace

void convert_elf(RunState& state) {
    // The listing follows one walk; otherwise the DWARF conversion may work
    // on several units at once, with threads started now, while the file's
    // headers are read.
    const unsigned threads = state.threads == 0 ? worker_threads(kMaxThreads) : state.threads;
    if (!state.debugMode && threads > 1 && !state.pool) state.pool = std::make_unique<WorkerPool>(threads);
    WorkerPool* const pool = state.pool.get();
    const ElfFile elf(state.image, state.inputName, state.out.utf8());
    state.targetFamily = elf.header().e_machine == EM_H8_300 ? TargetFamily::H8 : TargetFamily::SH;
    TextOut* listing = state.debugMode ? &state.out : nullptr;
    if (listing) {
        print_elf_header(*listing, elf);
        print_elf_sections(*listing, elf);
    }
    DwarfInput input;
    input.sections = dwarf_sections(elf);
    if (!input.sections.info.present || input.sections.info.size == 0) {
        // Built without -g, or stripped: the two files are written empty,
        // as they must be to match the executable, but not without a word.
        state.out.warn({Said(msg::kSaidNoDwarf, {state.inputName, state.symbolFileName, state.lineFileName}),
                        {}, Said(msg::kFixNoDwarf)});
    }
    input.hasSymbols = elf.has_symbols();
    input.symbolCount = elf.symbol_count();
    input.symbolsAt = [&elf](uint64_t value) {
        return value > UINT32_MAX ? std::vector<std::string_view>()
                                  : elf.symbols_at(static_cast<uint32_t>(value));
    };
    input.hasSymbolAt = [&elf](uint64_t value, std::string_view name) {
        return value <= UINT32_MAX && elf.has_symbol_at(static_cast<uint32_t>(value), name);
    };
    for (const ElfSectionHeader& s : elf.sections()) {
        if (!(s.sh_flags & SHF_ALLOC) || s.sh_size == 0) continue;
        input.allocated.push_back({s.sh_addr, uint64_t{s.sh_addr} + s.sh_size, (s.sh_flags & SHF_EXECINSTR) != 0});
    }
    if (pool && (!input.hasSymbols || elf.index_for_threads())) input.pool = pool;
    if (input.hasSymbols) input.functionSymbols = [&elf] { return elf.function_symbols(); };
    // A helper builds the symbol-name filter while this thread opens the
    // files and reads the unit headers; it is done before `elf` goes.
    struct AwaitPosted {
        WorkerPool* pool;
        ~AwaitPosted() {
            if (pool) pool->wait_posted();
        }
    } awaitPosted{input.pool && input.hasSymbols ? input.pool : nullptr};
    if (awaitPosted.pool) awaitPosted.pool->post([&elf] { elf.build_name_filter(); });
    state.outputs->open(state);
    convert_dwarf(state, input, listing);
    state.outputs->close();
}

}  // namespace dravont
