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
#include "output/pending_units.h"

namespace dravont {

class DebuggerFiles;
class DieResolver;
class TextOut;
class LinkerKept;
struct LineRow;
struct LineTable;

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
