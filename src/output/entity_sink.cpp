// The sinks of the conversion rules: straight into the files, or into a
// unit's part and later through the merge.
#include "output/entity_sink.h"

#include <algorithm>
#include <cstring>

#include "common/reserve.h"
#include "output/debugger_files.h"
#include "output/folded_functions.h"

namespace dravont {

namespace {

// Room made up front for a unit's lists is for at most this many bytes of
// DIEs: a larger unit grows them as it goes.
constexpr uint64_t kMaxReservedUnit = 1u << 20;

// A symbol-file line kept in a part until the merge lays it out; with its
// digest, a third the size of the line it stands for.
struct SymbolRecord {
    uint64_t digest;
    uint32_t value;
    uint32_t function;
    const char* sizeClass;
    uint16_t nameLength;
    bool external;
};
constexpr size_t kRecordSize = (sizeof(SymbolRecord) + 7) / 8 * 8;

// A fresh unit in the part, with the memory of the lists of the slot's
// last one. A line, a function or a range comes with every few dozen bytes
// of DIEs: room for them at once spares the copies of growing lists (and
// costs nothing where it stays untouched).
void start_part(UnitPart& part, uint64_t dieBytes) {
    const size_t bytes = static_cast<size_t>(std::min(dieBytes, kMaxReservedUnit));
    part.made = false;
    part.text.clear();
    part.records = 0;
    part.ranges.clear();
    PendingUnit fresh;
    fresh.functions.swap(part.unit.functions);
    fresh.ranges.swap(part.unit.ranges);
    part.unit = std::move(fresh);
    reserve_rounded(part.unit.functions, bytes / 32);
    reserve_rounded(part.unit.ranges, bytes / 32);
}

size_t expected_lines(uint64_t dieBytes) { return static_cast<size_t>(std::min<uint64_t>(dieBytes / 16, 1u << 24)); }

// Keeps the functions whose line was not dropped, with their ranges.
void drop_functions(PendingUnit& unit, const std::vector<bool>& dropped) {
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    unit.functionAtZero = false;
    forget_dropped(unit.folded, dropped);
    for (size_t i = 0; i < unit.functions.size(); ++i) {
        if (dropped[i]) continue;
        PendingFunction f = unit.functions[i];
        const uint32_t first = static_cast<uint32_t>(ranges.size());
        for (uint32_t k = 0; k < f.rangeCount; ++k) ranges.push_back(unit.ranges[f.firstRange + k]);
        f.firstRange = first;
        functions.push_back(f);
        unit.functionAtZero = unit.functionAtZero || f.value == 0;
    }
    unit.functions.swap(functions);
    unit.ranges.swap(ranges);
}

void write_line(DebuggerFiles& files, uint32_t value, std::string_view name, const char* sizeClass, bool external) {
    if (external) files.external_symbol(value, name, sizeClass);
    else files.static_symbol(value, name, sizeClass);
}

}  // namespace

void FileSink::begin_unit(UnitPart& part, uint64_t dieBytes) {
    start_part(part, dieBytes);
    unit_.expect(expected_lines(dieBytes));
}

bool FileSink::symbol(const SymbolLine& line) {
    const uint64_t h = line_digest(line.value, line.name);
    if (unit_.contains(h, line.value) || earlier_.contains(h, line.value)) return false;
    unit_.add(h, line.value);
    if (unit_.count() >= UnitLines::kMaxLines) earlier_.take(unit_);
    write_line(files_, line.value, line.name, line.sizeClass, line.external);
    return true;
}

void PartSink::begin_unit(UnitPart& part, uint64_t dieBytes) {
    start_part(part, dieBytes);
    // A unit's lines take a few times its DIEs' bytes.
    part.text.expect(static_cast<size_t>(std::min(dieBytes, kMaxReservedUnit)) * 2);
    unit_.expect(expected_lines(dieBytes));
    part_ = &part;
}

bool PartSink::symbol(const SymbolLine& line) {
    const uint64_t h = line_digest(line.value, line.name);
    if (unit_.contains(h, line.value)) return false;
    unit_.add(h, line.value);
    const SymbolRecord record{h, line.value, line.function, line.sizeClass, static_cast<uint16_t>(line.name.size()),
                              line.external};
    const size_t size = kRecordSize + (line.name.size() + 7) / 8 * 8;
    char* p = part_->text.reserve(size);
    std::memcpy(p, &record, sizeof record);
    if (!line.name.empty()) std::memcpy(p + kRecordSize, line.name.data(), line.name.size());
    part_->text.advance(size);
    ++part_->records;
    return true;
}

void PartSink::end_unit() { unit_.clear(part_->ranges); }

void PartMerge::merge(UnitPart& part) {
    if (!part.made) return;
    const std::string_view text = part.text.text();
    const bool mayRepeat = earlier_.meets(part.ranges);
    if (mayRepeat) dropped_.assign(part.unit.functions.size(), false);
    for (size_t at = 0, n = 0; n < part.records; ++n) {
        SymbolRecord r;
        std::memcpy(&r, text.data() + at, sizeof r);
        const std::string_view name = text.substr(at + kRecordSize, r.nameLength);
        at += kRecordSize + (r.nameLength + size_t{7}) / 8 * 8;
        if (mayRepeat && earlier_.contains(r.digest, r.value)) {
            if (r.function != kNoFunction) dropped_[r.function] = true;
            continue;
        }
        earlier_.add(r.digest);
        write_line(files_, r.value, name, r.sizeClass, r.external);
    }
    if (mayRepeat) drop_functions(part.unit, dropped_);
    earlier_.add_ranges(part.ranges);
}

void keep_unit(UnitPart& part, std::vector<PendingUnit>& units) {
    if (!part.made) return;
    pack_functions(part.unit);
    std::vector<PendingFunction> functions;
    std::vector<AddressRange> ranges;
    functions.swap(part.unit.functions);
    ranges.swap(part.unit.ranges);
    units.push_back(std::move(part.unit));
    part.unit.functions.swap(functions);
    part.unit.ranges.swap(ranges);
}

}  // namespace dravont
