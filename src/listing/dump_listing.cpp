#include "listing/dump_listing.h"

#include <map>

#include "coff/headers.h"
#include "coff/line_numbers.h"
#include "coff/line_table.h"
#include "coff/symbols.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "listing/listing_strings.h"

namespace dravont {

namespace {

// The listing only shows the file; the conversion decides whether the file
// is usable. A record the listing cannot read is noted in place, and the
// listing goes on where it can, so that -debug never fails a run that
// succeeds without it.
void note_unreadable(TextOut& out, const MalformedInput& error) {
    out.put("*** ").put(error.record()).put(" lies outside the file (offset 0x");
    out.hex(error.offset(), 8).put(", file size ").dec(error.fileSize()).put(") ***\n");
}

void list_line_table(RunState& state) {
    TextOut& out = state.out;
    out.put(lineTableRule).put(symbolTableRule).put('\n');
    out.put(lineTableHeading).put('\n');
    out.put(lineTableRule).put(symbolTableRule).put('\n');
    try {
        const uint64_t entries = line_table_entries(state);
        for (uint32_t k = 0; k < entries; ++k) {
            decode_line_entry(state, state.sectionHeader->s_lnnoptr, k);
        }
    } catch (const MalformedInput& error) {
        note_unreadable(out, error);
    }
    out.put(lineTableRule).put(symbolTableRule).put("\n\n");
}

// The line-number tables already listed, as [start, end) keyed by start. In
// a well-formed file no two sections share entries; a crafted file whose
// sections all point at one long table must not multiply the listing.
class ListedTables {
public:
    // Returns false when [start, end) overlaps a table listed before.
    bool add(uint64_t start, uint64_t end) {
        if (start == end) return true;
        auto next = tables_.lower_bound(start);
        if (next != tables_.end() && next->first < end) return false;
        if (next != tables_.begin() && std::prev(next)->second > start) return false;
        tables_.emplace(start, end);
        return true;
    }

private:
    std::map<uint64_t, uint64_t> tables_;
};

void list_sections(RunState& state) {
    ListedTables listed;
    for (uint32_t n = 0; n < state.fileHeader->f_nscns; ++n) {
        try {
            decode_section_header(state, static_cast<uint16_t>(n));
        } catch (const MalformedInput& error) {
            note_unreadable(state.out, error);
            return;  // the later headers lie further out still
        }
        if (state.sectionHeader->s_nlnno == 0) continue;
        if (state.sectionHeader->s_nlnno == kSaturatedLineCount) {
            state.out.put("LineNumCount: ").dec(line_table_entries(state));
            state.out.put(" (count FFFF saturated: taken from the file layout)\n\n");
        }
        if (!listed.add(state.sectionHeader->s_lnnoptr, line_table_end(state))) {
            state.out.put("*** line-number table shares entries with one listed above;");
            state.out.put(" not listed again ***\n\n");
            continue;
        }
        list_line_table(state);
    }
}

void list_symbols(RunState& state) {
    TextOut& out = state.out;
    out.put(symbolTableRule).put('\n').put(symbolTableHeading).put('\n');
    out.put(symbolTableRule).put('\n');
    try {
        for (uint32_t i = 0; i < state.fileHeader->f_nsyms;) {
            const int16_t numaux = decode_symbol(state, i);
            const uint64_t next = uint64_t{i} + static_cast<uint64_t>(numaux) + 1;
            if (next > UINT32_MAX) break;
            i = static_cast<uint32_t>(next);
        }
    } catch (const MalformedInput& error) {
        out.put('\n');
        note_unreadable(out, error);
    }
    out.put(symbolTableRule).put("\n\n\n\n");
}

}  // namespace

void dump_listing(RunState& state) {
    list_sections(state);
    list_symbols(state);
}

}  // namespace dravont
