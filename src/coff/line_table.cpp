#include "coff/line_table.h"

#include <algorithm>

#include "coff/headers.h"
#include "common/run_state.h"

namespace dravont {

namespace {

// Sorted start offsets of the file's structures (s_scnptr, s_relptr and
// s_lnnoptr of every section, f_symptr), read straight from the section table
// without touching the SectionHeader slot or printing.
// Section headers that lie outside the image contribute nothing.
const std::vector<uint64_t>& structure_starts(RunState& state) {
    if (state.structureStartsKnown) return state.structureStarts;
    std::vector<uint64_t>& starts = state.structureStarts;
    const InputImage& image = state.image;
    for (uint32_t n = 0; n < state.fileHeader->f_nscns; ++n) {
        const uint64_t p = section_header_position(static_cast<uint16_t>(n));
        if (!image.contains(p, kSectionHeaderSize)) break;
        // A structure that holds nothing occupies no bytes and ends nothing.
        const uint32_t size = read_be32(image, p + 16);
        const uint16_t nreloc = read_be16(image, p + 32);
        const uint16_t nlnno = read_be16(image, p + 34);
        const struct {
            uint64_t field;
            bool used;
        } pointers[] = {{20, size != 0}, {24, nreloc != 0}, {28, nlnno != 0}};
        for (const auto& ptr : pointers) {
            const uint32_t start = read_be32(image, p + ptr.field);
            if (ptr.used && start != 0) starts.push_back(start);
        }
    }
    if (state.fileHeader->f_symptr != 0) starts.push_back(state.fileHeader->f_symptr);
    std::sort(starts.begin(), starts.end());
    state.structureStartsKnown = true;
    return starts;
}

}  // namespace

uint64_t line_table_end(RunState& state) {
    const SectionHeader& h = *state.sectionHeader;
    const uint64_t start = h.s_lnnoptr;
    if (h.s_nlnno != kSaturatedLineCount) return start + uint64_t{kLineEntrySize} * h.s_nlnno;
    const std::vector<uint64_t>& starts = structure_starts(state);
    const auto next = std::upper_bound(starts.begin(), starts.end(), start);
    uint64_t limit = next != starts.end() ? *next : state.image.size();
    limit = std::min(limit, state.image.size());
    if (limit <= start) return start;
    return start + (limit - start) / kLineEntrySize * kLineEntrySize;
}

uint64_t line_table_entries(RunState& state) {
    return (line_table_end(state) - state.sectionHeader->s_lnnoptr) / kLineEntrySize;
}

}  // namespace dravont
