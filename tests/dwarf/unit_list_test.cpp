// The unit list on real executables with type units (DWARF 4 .debug_types,
// DWARF 5 DW_UT_type units in .debug_info): unit offsets and signatures as
// sh-elf-readelf --debug-dump=info lists them beside each fixture, the unit
// that holds an offset, and a header that cannot be read ending its list.
#include "dwarf/unit_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "coff/input_image.h"
#include "common/run_error.h"
#include "elf/elf_file.h"

using namespace dravont;

namespace {

const std::filesystem::path kElfData = std::filesystem::path(DRAVONT_TEST_DATA) / "elf";

struct Fixture {
    InputImage image;
    std::unique_ptr<ElfFile> elf;
    DwarfSections sections;
    explicit Fixture(const std::string& name) {
        std::ifstream in(kElfData / name, std::ios::binary);
        image.assign(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        elf = std::make_unique<ElfFile>(image, name, true);
        sections.order = elf->order();
        sections.info = elf->span(elf->find_debug(".debug_info"));
        sections.types = elf->span(elf->find_debug(".debug_types"));
    }
};

struct Unit {
    uint64_t offset, length;  // as readelf lists them; the unit ends at offset + 4 + length
    uint64_t signature = 0, typeOffset = 0;  // type units
};

std::vector<uint64_t> offsets(const std::vector<UnitHeader>& units) {
    std::vector<uint64_t> out;
    for (const UnitHeader& h : units) out.push_back(h.offset & ~kTypesSectionBit);
    return out;
}

TEST(UnitList, RealFilesWithTypeUnits) {
    struct Case {
        const char* file;
        std::vector<Unit> info, types;
    };
    const Case cases[] = {
        {"cxxm_mb_O2_dw4tu.elf",
         {{0, 0x417}, {0x41b, 0x367}, {0x786, 0x486}},
         {{0, 0xed, 0xdf3be593bf362e8, 0x34},
          {0xf1, 0x128, 0x374f66a88b4a9602, 0x34},
          {0x21d, 0x60, 0x45242460cf106071, 0x34},
          {0x281, 0xf4, 0x20f247d3cfebd21d, 0x34}}},
        {"cxxm_ml_O0_dw5tu.elf",
         {{0, 0xf2, 0xe8bd62ef0872bc4d, 0x35},
          {0xf6, 0x12d, 0x6f44d99aba7e08dd, 0x35},
          {0x227, 0x61, 0x716010cf60242445, 0x35},
          {0x28c, 0x3bc},
          {0x64c, 0x344},
          {0x994, 0xf9, 0xb944fd8de54037e7, 0x35},
          {0xa91, 0x43e}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Fixture f(c.file);
        const UnitList list(f.sections);
        for (const bool inTypes : {false, true}) {
            const std::vector<Unit>& expected = inTypes ? c.types : c.info;
            const uint64_t bit = inTypes ? kTypesSectionBit : 0;
            const std::vector<UnitHeader>& units = list.units(inTypes);
            EXPECT_FALSE(list.fault(inTypes));
            ASSERT_EQ(units.size(), expected.size());
            for (size_t k = 0; k < expected.size(); ++k) {
                const Unit& u = expected[k];
                const uint64_t end = u.offset + 4 + u.length;
                EXPECT_EQ(units[k].offset, u.offset | bit);
                EXPECT_EQ(units[k].end, end | bit);
                // The first and last byte of the unit and its root DIE.
                for (const uint64_t at : {u.offset, units[k].firstDie & ~bit, end - 1}) {
                    EXPECT_EQ(list.unit_at(at | bit), &units[k]) << std::hex << at;
                }
                if (u.signature != 0) {
                    ASSERT_NE(list.type_die(u.signature), nullptr);
                    EXPECT_EQ(*list.type_die(u.signature), (u.offset + u.typeOffset) | bit);
                }
            }
            const ByteSpan& span = inTypes ? f.sections.types : f.sections.info;
            EXPECT_EQ(list.unit_at(span.size | bit), nullptr);
        }
        EXPECT_FALSE(list.signature_fault());
        EXPECT_EQ(list.type_die(0x1234), nullptr);
    }
}

TEST(UnitList, AHeaderThatCannotBeReadEndsItsList) {
    // .debug_info cut 6 bytes into its third unit: the length field is
    // whole, its unit is not.
    Fixture f("cxxm_ml_O0_dw5tu.elf");
    f.sections.info.size = 0x227 + 6;
    const UnitList list(f.sections);
    EXPECT_EQ(offsets(list.units()), (std::vector<uint64_t>{0, 0xf6}));
    EXPECT_EQ(list.unit_at(0x100), &list.units()[1]);
    EXPECT_EQ(list.unit_at(0x227), nullptr);
    ASSERT_TRUE(list.fault());
    ASSERT_TRUE(list.signature_fault());
    try {
        list.rethrow_fault();
        ADD_FAILURE() << "no fault";
    } catch (const MalformedInput& e) {
        EXPECT_EQ(e.record(), ".debug_info, unit length at 0x227");
        EXPECT_EQ(e.offset(), f.sections.info.fileOffset + 0x227);
    }
    // The type units before the fault are found; the one after it is not.
    EXPECT_NE(list.type_die(0x6f44d99aba7e08dd), nullptr);
    EXPECT_EQ(list.type_die(0xb944fd8de54037e7), nullptr);
}

}  // namespace
