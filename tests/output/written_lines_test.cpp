// A symbol-file line is written once, however many units describe it: the
// same lines through the sink that writes at once and through the parts and
// their merge, over a table of units, must leave the same lines, and those
// the table expects.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/convert_dwarf.h"
#include "output/debugger_files.h"
#include "output/entity_sink.h"

namespace dravont {
namespace {

struct Line {
    uint32_t value;
    std::string name;
    bool written;  // false: it repeats a line written before
};
using Unit = std::vector<Line>;

struct Case {
    const char* what;
    std::vector<Unit> units;
};

const std::vector<AllocatedSection> kSections = {{0x1000, 0x9000, true}, {0x20000, 0x30000, false}};

// More lines in one unit than its table holds before they join the earlier
// units', then a repeat of the first and a new line at the same value.
Unit huge_unit() {
    Unit unit;
    for (uint32_t i = 0; i < UnitLines::kMaxLines + 10; ++i) unit.push_back({0x1000 + i / 2, "f" + std::to_string(i), true});
    unit.push_back({0x1000, "f0", false});
    unit.push_back({0x1000, "g0", true});
    return unit;
}

std::vector<Case> cases() {
    return {
        {"a repeat in the same unit", {{{0x1000, "_a", true}, {0x1004, "_b", true}, {0x1000, "_a", false}}}},
        {"a repeat in a later unit", {{{0x1000, "_a", true}}, {{0x2000, "_c", true}, {0x1000, "_a", false}}}},
        {"same value or same name is not a repeat",
         {{{0x1000, "_a", true}, {0x1000, "_b", true}}, {{0x1004, "_a", true}, {0x1000, "_a@x.c", true}}}},
        {"new lines inside an earlier unit's range",
         {{{0x1000, "_a", true}, {0x1100, "_b", true}}, {{0x1050, "_c", true}, {0x1100, "_b", false}}}},
        {"a repeat in the second section, three units on",
         {{{0x20000, "_v", true}, {0x1000, "_f", true}},
          {{0x5000, "_g", true}},
          {},
          {{0x20000, "_w", true}, {0x20000, "_v", false}, {0x1000, "_f", false}}}},
        {"a value outside every section", {{{0x10, "_z", true}}, {{0x10, "_z", false}, {0x10, "_y", true}}}},
        {"a huge unit", {huge_unit(), {{0x1001, "f2", false}, {0x1001, "f4", true}}}},
    };
}

std::string expected_text(const Case& c) {
    TextOut out;
    int16_t count = 0;
    DebuggerFiles files;
    files.set_target(out, out, count, count);
    for (const Unit& unit : c.units) {
        for (const Line& l : unit) {
            if (l.written) files.external_symbol(l.value, l.name, "(LONG)");
        }
    }
    return out.take();
}

SymbolLine line_of(const Line& l, uint32_t function) {
    SymbolLine s;
    s.value = l.value;
    s.name = l.name;
    s.sizeClass = "(LONG)";
    s.external = true;
    s.function = function;
    return s;
}

TEST(WrittenLines, EachLineOnceWrittenAtOnceOrMergedFromParts) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        const std::string expected = expected_text(c);
        // Written at once, one unit after the other.
        {
            TextOut out;
            int16_t count = 0;
            DebuggerFiles files;
            files.set_target(out, out, count, count);
            FileSink sink(files, 16, kSections);
            UnitPart part;
            for (const Unit& unit : c.units) {
                sink.begin_unit(part, 1000);
                for (const Line& l : unit) EXPECT_EQ(sink.symbol(line_of(l, kNoFunction)), l.written) << l.name;
                sink.end_unit();
            }
            EXPECT_EQ(out.take(), expected);
        }
        // Walked apart, each line a function's, merged in unit order: the
        // functions whose line an earlier unit wrote are dropped.
        {
            TextOut out;
            int16_t count = 0;
            DebuggerFiles files;
            files.set_target(out, out, count, count);
            PartMerge merge(files, 16);
            PartSink sink(kSections);
            std::vector<PendingUnit> units;
            for (const Unit& unit : c.units) {
                UnitPart part;
                sink.begin_unit(part, 1000);
                size_t kept = 0;
                for (const Line& l : unit) {
                    const uint32_t index = static_cast<uint32_t>(part.unit.functions.size());
                    if (!sink.symbol(line_of(l, index))) continue;
                    PendingFunction f;
                    f.value = l.value;
                    part.unit.functions.push_back(f);
                    kept += l.written;
                }
                sink.end_unit();
                part.made = true;
                merge.merge(part);
                EXPECT_EQ(part.unit.functions.size(), kept);
                keep_unit(part, units);
            }
            EXPECT_EQ(out.take(), expected);
        }
    }
}

}  // namespace
}  // namespace dravont
