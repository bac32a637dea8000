// Where the conversion rules put the symbol-file lines of a unit's entities.
// The rules (dwarf_rules) decide what is written and under which name; a
// sink decides where it goes: straight into the two files (FileSink, when
// one thread walks the units in order) or into the unit's part, merged into
// the files in unit order later (PartSink and PartMerge, when several
// threads walk units side by side). Both give the same files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/text_out.h"
#include "output/debugger_files.h"
#include "output/dwarf_line_records.h"
#include "output/written_lines.h"

namespace dravont {

struct AllocatedSection;

constexpr uint32_t kNoFunction = UINT32_MAX;

// One symbol-file line.
struct SymbolLine {
    uint32_t value = 0;
    std::string_view name;  // as the line shows it: cut after 32, a qualified static's after 65
    const char* sizeClass = "";  // one of the size-class table's texts
    bool external = false;
    // The unit's function (index into PendingUnit::functions) whose entry
    // this line is; kNoFunction for a variable.
    uint32_t function = kNoFunction;
};

// One unit as a worker walks it: its functions (unpacked) and, walked
// apart, its symbol-file lines waiting for the merge; later its line
// records waiting for the line file.
struct UnitPart {
    bool made = false;  // false: a unit without DIEs, or a type unit
    PendingUnit unit;
    TextOut text;  // its symbol records, later its line records
    size_t records = 0;
    std::vector<LineRange> ranges;  // of its symbol-file lines, by section
    int16_t symbolCount = 0;
    int16_t lineCount = 0;
};

class EntitySink {
public:
    virtual ~EntitySink() = default;
    // The unit about to be walked into `part`, with `dieBytes` of DIEs.
    virtual void begin_unit(UnitPart& part, uint64_t dieBytes) = 0;
    // Writes the line, or false when it repeats one written before: one of
    // this unit's, or (where the sink can tell) an earlier unit's.
    virtual bool symbol(const SymbolLine& line) = 0;
    virtual void end_unit() = 0;
};

// Writes each line at once, the units walked one after the other in order.
class FileSink final : public EntitySink {
public:
    FileSink(DebuggerFiles& files, uint64_t expectedLines, const std::vector<AllocatedSection>& sections)
        : files_(files), unit_(&sections), earlier_(expectedLines) {}
    void begin_unit(UnitPart& part, uint64_t dieBytes) override;
    bool symbol(const SymbolLine& line) override;
    void end_unit() override { earlier_.take(unit_); }

private:
    DebuggerFiles& files_;
    UnitLines unit_;
    EarlierLines earlier_;
};

// Keeps a unit's lines in its part, as records: what the line holds, its
// digest, and its function. In the part's text each record is followed by
// the name's bytes and padding to eight bytes.
class PartSink final : public EntitySink {
public:
    explicit PartSink(const std::vector<AllocatedSection>& sections) : unit_(&sections) {}
    void begin_unit(UnitPart& part, uint64_t dieBytes) override;
    bool symbol(const SymbolLine& line) override;
    void end_unit() override;

private:
    UnitPart* part_ = nullptr;
    UnitLines unit_;
};

// Puts the parts' lines in the symbol file in unit order, less those an
// earlier unit wrote, and drops the functions whose line that was.
class PartMerge {
public:
    // `files` writes into the run's files.
    PartMerge(DebuggerFiles files, uint64_t expectedLines) : files_(files), earlier_(expectedLines) {}
    void merge(UnitPart& part);

private:
    DebuggerFiles files_;  // the run's files
    EarlierLines earlier_;
    std::vector<bool> dropped_;  // by function
};

// Keeps a walked unit (packing its functions) at the end of `units`; the
// part's lists, emptied, keep their memory for its next unit.
void keep_unit(UnitPart& part, std::vector<PendingUnit>& units);

}  // namespace dravont
