#include "common/run_state.h"

namespace dravont {

void allocate_slots(RunState& state) {
    state.fileHeader = std::make_unique<FileHeader>();
    state.optionalHeader = std::make_unique<OptionalHeader>();
    state.sectionHeader = std::make_unique<SectionHeader>();
    state.lineEntry = std::make_unique<LineEntry>();
    state.symbolEntry = std::make_unique<SymbolEntry>();
    state.auxEntry = std::make_unique<AuxEntry>();
}

void release_slots(RunState& state) {
    state.fileHeader.reset();
    state.optionalHeader.reset();
    state.sectionHeader.reset();
    state.lineEntry.reset();
    state.symbolEntry.reset();
    state.auxEntry.reset();
}

}  // namespace dravont
