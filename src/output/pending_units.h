// A unit as the walk of its DIEs leaves it for its line records: its
// fields, and its written functions with their ranges, kept packed (about
// five bytes a function) while the other units are walked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dwarf/ranges.h"
#include "output/folded_functions.h"

namespace dravont {

// A function written to the symbol file, for its line records.
struct PendingFunction {
    uint64_t value = 0;  // entry address
    uint32_t firstRange = 0;  // into PendingUnit::ranges
    uint32_t rangeCount = 0;
    bool hasDeclFile = false;
    uint64_t declFile = 0;
    uint64_t declUnit = 0;  // header offset of the unit whose line table declFile indexes
};

struct PendingUnit {
    uint64_t offset = 0;  // of the unit header
    uint8_t addressSize = 4;
    std::string name;     // DW_AT_name
    std::string compDir;  // DW_AT_comp_dir
    bool writesLines = false;  // library sources and nameless units write no lines
    std::string marker;   // the unit's own marker name; "" for none
    bool ownFile = true;  // false: a link-time unit ("<artificial>") without a file of its own
    bool hasStmtList = false;
    uint64_t stmtList = 0;
    // The unit's functions and their ranges while its DIEs are walked and
    // while its records are written; in between they are kept packed.
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    std::vector<uint8_t> packed;
    size_t functionCount = 0;
    bool functionAtZero = false;
    std::string listing;  // the unit's entity table, in debug mode
    // Subprogram DIEs without an address named as function symbols: folded
    // functions perhaps (folded_functions.h).
    std::vector<FoldCandidate> folded;
};

// Packs the unit's functions and ranges, about five bytes a function, and
// empties both lists (their memory stays with them for the caller to pass
// on); unpack_functions gives them back exactly.
void pack_functions(PendingUnit& unit);
void unpack_functions(PendingUnit& unit);
// Appends the entry address of each packed function.
void append_entries(const PendingUnit& unit, std::vector<uint64_t>& entries);
// The entry addresses of all the units' packed functions, in unit order.
std::vector<uint64_t> all_entries(const std::vector<PendingUnit>& units);

}  // namespace dravont
