// A unit's functions are kept packed between the walk of its DIEs and the
// writing of its line records: packing and unpacking must give back every
// field exactly, addresses at both ends of the 64-bit range included.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "output/dwarf_line_records.h"

namespace dravont {
namespace {

struct Spec {
    uint64_t value;
    std::vector<AddressRange> ranges;
    bool hasDeclFile;
    uint64_t declFile, declUnit;
};

TEST(PackedFunctions, GiveBackEveryFieldExactly) {
    constexpr uint64_t kMax = UINT64_MAX;
    const uint64_t unitOffset = 0x1234;
    const std::vector<Spec> specs = {
        {0x1000, {{0x1000, 0x1010}}, true, 1, unitOffset},
        {0x1010, {}, false, 0, 0},
        {0x0FF0, {{0x2000, 0x2008}, {0x0FF0, 0x1000}}, true, kMax, 0x99},  // a second part below, another unit
        {kMax, {{kMax, 0}, {0, kMax}}, true, 0, kMax},                     // wrapping differences
        {0, {{5, 3}}, false, 7, 5},                                         // a range that ends before it starts
        {0x80000000u, {{0x7FFFFFFFu, 0x80000001u}}, true, 300, unitOffset},
    };
    PendingUnit unit;
    unit.offset = unitOffset;
    for (const Spec& s : specs) {
        PendingFunction f;
        f.value = s.value;
        f.firstRange = static_cast<uint32_t>(unit.ranges.size());
        f.rangeCount = static_cast<uint32_t>(s.ranges.size());
        f.hasDeclFile = s.hasDeclFile;
        f.declFile = s.declFile;
        f.declUnit = s.declUnit;
        unit.functions.push_back(f);
        unit.ranges.insert(unit.ranges.end(), s.ranges.begin(), s.ranges.end());
    }
    pack_functions(unit);
    EXPECT_TRUE(unit.functions.empty());
    EXPECT_EQ(unit.functionCount, specs.size());
    std::vector<uint64_t> entries;
    append_entries(unit, entries);
    unpack_functions(unit);
    ASSERT_EQ(unit.functions.size(), specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(i);
        const Spec& s = specs[i];
        const PendingFunction& f = unit.functions[i];
        EXPECT_EQ(entries[i], s.value);
        EXPECT_EQ(f.value, s.value);
        EXPECT_EQ(f.hasDeclFile, s.hasDeclFile);
        if (s.hasDeclFile) {  // without a file the other two fields are never read
            EXPECT_EQ(f.declFile, s.declFile);
            EXPECT_EQ(f.declUnit, s.declUnit);
        }
        ASSERT_EQ(f.rangeCount, s.ranges.size());
        for (size_t k = 0; k < s.ranges.size(); ++k) {
            EXPECT_EQ(unit.ranges[f.firstRange + k].low, s.ranges[k].low);
            EXPECT_EQ(unit.ranges[f.firstRange + k].high, s.ranges[k].high);
        }
    }
}

}  // namespace
}  // namespace dravont
