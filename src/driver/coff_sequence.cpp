#include "driver/coff_sequence.h"

#include "coff/headers.h"
#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "driver/diagnoses.h"
#include "listing/dump_listing.h"
#include "output/convert_symbols.h"

namespace dravont {

namespace {

// A relocatable object has no a.out header (f_opthdr 0) and its section table
// at offset 20; decoding it at the fixed positions of an executable would
// produce garbage.
void require_executable(RunState& state) {
    const uint16_t opthdr = state.fileHeader->f_opthdr;
    if (opthdr == kOptionalHeaderSize) return;
    TextOut text;
    text.set_utf8(state.out.utf8());
    text.put(state.inputName).put(msg::kNotExecutable).put(" f_opthdr=").dec(opthdr).put("\n\n");
    const Said meaning =
        opthdr == 0 ? Said(msg::kCoffRelocatable) : Said(msg::kCoffBadOptionalHeader, {std::to_string(opthdr)});
    throw RunFailure(text.take(), {Said(msg::kSaidNotExecutable, {state.inputName, meaning}),
                                   coff_magic_note(state.fileHeader->f_magic),
                                   opthdr == 0 ? Said(msg::kFixLinkExecutable) : Said()});
}

}  // namespace

void choose_target_family(RunState& state) {
    if (state.fileHeader->f_magic <= 0x82FF) {
        if (state.debugMode) state.out.put(msg::kShFamily);
        state.targetFamily = TargetFamily::SH;
    } else {
        if (state.debugMode) state.out.put(msg::kH8Family);
        state.targetFamily = TargetFamily::H8;
    }
}

void convert_coff(RunState& state) {
    decode_file_header(state);
    choose_target_family(state);
    require_executable(state);
    decode_optional_header(state);
    const FileHeader& h = *state.fileHeader;
    state.stringTable = uint64_t{h.f_symptr} + uint64_t{kSymbolRecordSize} * h.f_nsyms;
    if (h.f_nsyms == 0) {
        // A stripped executable converts into two empty files: say so.
        state.out.warn({Said(msg::kSaidNoSymbols, {state.inputName, state.symbolFileName, state.lineFileName}),
                        {}, Said(msg::kFixNoSymbols)});
    }
    if (state.debugMode) dump_listing(state);
    convert_symbols(state);
}

}  // namespace dravont
