#include "elf/elf_convert.h"

#include "coff/input_image.h"
#include "common/run_state.h"
#include "dwarf/dwarf_convert.h"
#include "elf/elf_file.h"
#include "listing/elf_listing.h"
#include "output/output_files.h"

namespace dravont {

namespace {

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

bool is_elf_image(const InputImage& image) {
    return image.size() >= 4 && image.bytes[0] == 0x7F && image.bytes[1] == 'E' &&
           image.bytes[2] == 'L' && image.bytes[3] == 'F';
}

void convert_elf(RunState& state) {
    const ElfFile elf(state.image, state.inputName, state.out.utf8());
    state.targetFamily = elf.header().e_machine == EM_H8_300 ? TargetFamily::H8 : TargetFamily::SH;
    TextOut* listing = state.debugMode ? &state.out : nullptr;
    if (listing) {
        print_elf_header(*listing, elf);
        print_elf_sections(*listing, elf);
    }
    DwarfInput input;
    input.sections = dwarf_sections(elf);
    input.hasSymbols = elf.has_symbols();
    input.symbolsAt = [&elf](uint64_t value) {
        return value > UINT32_MAX ? std::vector<std::string_view>()
                                  : elf.symbols_at(static_cast<uint32_t>(value));
    };
    state.outputs->open(state);
    convert_dwarf(state, input, listing);
    state.outputs->close();
}

}  // namespace dravont
