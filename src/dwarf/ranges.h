// Address ranges of a DIE described by DW_AT_ranges: .debug_ranges lists
// (DWARF 2 to 4) and .debug_rnglists lists (DWARF 5).
#pragma once

#include <cstdint>
#include <vector>

#include "dwarf/debug_info.h"

namespace dravont {

struct AddressRange {
    uint64_t low = 0;
    uint64_t high = 0;  // first address past the range
};

// A function is split into a few parts at most; a list of more entries than
// this is taken as malformed rather than walked for every function naming it.
constexpr size_t kMaxRangesPerDie = 4096;

// The ranges of `die`'s DW_AT_ranges, in list order, empty ones left out.
std::vector<AddressRange> read_ranges(const DwarfUnit& unit, const DieInfo& die);

}  // namespace dravont
