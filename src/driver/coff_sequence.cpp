#include "driver/coff_sequence.h"

#include "coff/headers.h"
#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"
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
    throw RunFailure(text.take());
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
    if (state.debugMode) dump_listing(state);
    convert_symbols(state);
}

}  // namespace dravont
