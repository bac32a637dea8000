// The line file's part of the DWARF conversion. Line records are written
// once every unit's functions are known: a function's range ends no later
// than the entry of the next written function, wherever that one is
// described, since linker relaxation shrinks code after the compiler wrote
// the ranges.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dwarf/debug_info.h"
#include "dwarf/ranges.h"
#include "output/folded_functions.h"

namespace dravont {

class DebuggerFiles;
class DieResolver;
class TextOut;
class LinkerKept;
struct LineRow;
struct LineTable;

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

class LineRecords {
public:
    LineRecords(DieResolver& resolver, DebuggerFiles& files, TextOut* listing, const LinkerKept& kept);
    ~LineRecords();

    // Takes the entries of every written function, for the ends of ranges.
    void set_entries(std::vector<uint64_t> entries);
    // Reads the entries `other` took, which must outlive this.
    void share_entries(const LineRecords& other) { entries_ = other.entries_; }
    // Writes the unit's markers and records, and in debug mode its listing.
    void write_unit(PendingUnit& unit);
    // The full paths of the files of the line table of the unit at `offset`,
    // by file number; kept for later questions about the same unit.
    const std::vector<std::string>& file_paths(uint64_t unitOffset);

private:
    struct Buffers;
    void clip_ranges(PendingUnit& unit) const;
    void unpack_and_clip(PendingUnit& unit) const;
    void group_files(const LineTable& table, const PendingUnit& unit);
    void read_rows(const PendingUnit& unit);
    uint8_t take_row(const LineRow& row, uint32_t i);
    void keep_sequences(const PendingUnit& unit);
    void function_files(const PendingUnit& unit);
    void claim_rows(const PendingUnit& unit);
    void write_function(const PendingUnit& unit, size_t fi);
    void write_records(const PendingUnit& unit);
    void list_rows();

    DieResolver& resolver_;
    DebuggerFiles& files_;
    TextOut* listing_;
    const LinkerKept& kept_;
    std::shared_ptr<const std::vector<uint64_t>> entries_;  // sorted, unique
    std::vector<std::pair<uint64_t, std::vector<std::string>>> paths_;
    std::unique_ptr<Buffers> buffers_;  // write_unit's lists, kept with their memory
};

}  // namespace dravont
