// The line-number program of one compile unit (.debug_line), versions 2 to 5,
// run into the rows of its line table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dwarf/dwarf_sections.h"

namespace dravont {

// One row of the line table, as the state machine emitted it.
struct LineRow {
    uint64_t address = 0;
    uint32_t file = 0;    // index into LineTable::files, as the program gave it
    uint32_t line = 0;
    bool endSequence = false;  // the first address past the sequence; not a line
};

// One sequence of the table: the rows from DW_LNE_set_address (or the
// program's start) up to the DW_LNE_end_sequence row, whose address is the
// first one past the sequence. Every row belongs to exactly one sequence,
// so the sequences of a table cover its rows in program order. Sequences
// that are empty (start == end) or inverted are recorded as the program
// wrote them: which to drop is the consumer's rule.
struct LineSequence {
    uint64_t start = 0;     // address of the first row
    uint64_t end = 0;       // address of the end-of-sequence row (unterminated: of the last row)
    uint64_t firstRow = 0;  // rows [firstRow, lastRow), counted in program order from the
    uint64_t lastRow = 0;   // table's first row; the end-of-sequence row is row lastRow - 1
    bool ended = true;      // false for rows after the program's last DW_LNE_end_sequence
};

struct LineFile {
    std::string name;       // as written in the header (DW_LNCT_path / file name)
    uint64_t directory = 0; // index into LineTable::directories (checked: always valid)
};

struct LineTable {
    uint16_t version = 0;
    uint64_t offset = 0;                   // of the unit header in .debug_line
    std::vector<std::string> directories;  // v5: entry 0 is the compilation directory;
                                           // v2-4: entry 0 is "" (the compilation directory)
    std::vector<LineFile> files;           // v5: entry 0 is the primary source file;
                                           // v2-4: entry 0 is unused (""), files count from 1
    std::vector<LineRow> rows;
    std::vector<LineSequence> sequences;  // in program order; kept with a sink too
};

// Decodes the line-number program that starts at `offset` of sections.line
// (a unit's DW_AT_stmt_list). `addressSize` is the compile unit's address
// size (0 when unknown); address arithmetic wraps at that width, and a
// version 5 header must state the same size. Every read is bounded to the
// unit; malformed input throws MalformedInput. Only the 32-bit DWARF format
// is read. DW_LNE_define_file adds to `files`; unknown standard opcodes are
// skipped by their operand count, unknown extended opcodes by their length.
// maximum_operations_per_instruction above 1 (VLIW) advances op_index as the
// format defines; rows keep only the instruction address. Rows after the last
// DW_LNE_end_sequence of an unterminated program are kept as emitted, and
// form a last sequence with `ended` false.
LineTable decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize);
// The same into `table`, whose lists keep their memory for the next table.
void decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize, LineTable& table);

// Takes a line table's rows as the program makes them, a few hundred at a
// time, so that no list of all of them is kept.
class LineRowSink {
public:
    virtual ~LineRowSink() = default;
    // The header has been read: `table` holds its directories and files
    // (DW_LNE_define_file may add files later); about `rowsAtMost` rows
    // follow at the most.
    virtual void begin(const LineTable& table, size_t rowsAtMost) = 0;
    // The next `count` rows, in program order.
    virtual void rows(const LineRow* rows, size_t count) = 0;
    // The sequences that ended in the rows handed over so far, each told
    // once, in program order, after the rows() call that held its last row.
    // The unterminated last sequence, if any, is told after the last rows.
    virtual void sequences(const LineSequence* /*sequences*/, size_t /*count*/) {}
};
// The same, each row handed to `sink` (when given) instead of kept in
// table.rows, which is left empty; table.sequences is filled either way
// (a sequence takes 40 bytes, a function's worth of rows).
void decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize, LineTable& table,
                       LineRowSink* sink);

// The full path of a file entry: its name when absolute, else the entry's
// directory joined with it ("/" between), where a relative directory is
// itself joined to `compDir` (the unit's DW_AT_comp_dir). Absolute means
// starting with "/" or "\" or a drive letter ("C:"). A file index with no
// entry (0 in versions 2 to 4, or past the end) gives "".
std::string line_file_path(const LineTable& table, uint32_t file, const std::string& compDir);

// `tail` under `base`, with one separator between; an absolute tail or an
// empty base leaves the tail as it is. The join line_file_path makes, for
// paths that must compare equal to its results.
std::string join_path(const std::string& base, const std::string& tail);

// The part of a path after its last slash or backslash (a marker's and a
// qualifier's file name).
inline std::string_view base_name(std::string_view path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace dravont
