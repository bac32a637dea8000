// Compressed debug sections: the sample program with its DWARF stored in each
// layout a linker writes must convert exactly as it does uncompressed, and
// list the sections' sizes; a build without zstd refuses zstd sections. The
// malformed compressed sections are in broken_images().
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/elf_messages.h"
#include "support/elf_builder.h"
#include "support/elf_samples.h"
#include "support/test_run.h"

using namespace elf_test;

namespace {

struct Layout {
    const char* name;
    Packing packing;
    const char* format;  // the listing's name of it
};

const Layout kLayouts[] = {
    {"zlib", Packing::Zlib, "zlib    "},
    {"zstd", Packing::Zstd, "zstd    "},
    {"zlib_gnu", Packing::ZlibGnu, "zlib-gnu"},
};

struct Sample {
    bool big;
    uint16_t machine;
    uint8_t version;
};

// Both byte orders, since Elf32_Chdr follows the file's; DWARF 5 brings the
// string offsets and line strings along.
const Sample kSamples[] = {{true, 46, 2}, {true, 46, 4}, {false, 42, 5}};

#ifdef DRAVONT_HAVE_ZSTD
constexpr bool kReadsZstd = true;
#else
constexpr bool kReadsZstd = false;
#endif
bool reads(Packing packing) { return kReadsZstd || packing != Packing::Zstd; }

// The listing from the label prefix on: what the conversion made of the DWARF.
std::string dwarf_part(const std::string& out) { return out.substr(out.find("Label prefix")); }

class CompressedSections : public ::testing::TestWithParam<Layout> {};

TEST_P(CompressedSections, ConvertAsUncompressed) {
    const Layout layout = GetParam();
    for (const Sample& s : kSamples) {
        SCOPED_TRACE("DWARF " + std::to_string(s.version) + (s.big ? " big-endian" : " little-endian"));
        const std::vector<uint8_t> image = sample_program(s.big, s.machine, s.version, layout.packing);
        for (bool debug : {false, true}) {
            const coff_test::RunResult plain =
                coff_test::run_in_memory(sample_program(s.big, s.machine, s.version), debug, "prog.elf");
            const coff_test::RunResult r = coff_test::run_in_memory(image, debug, "prog.elf");
            if (!reads(layout.packing)) {
                EXPECT_EQ(r.status, 1);
                EXPECT_FALSE(r.committed);
                EXPECT_NE(r.out.find(std::string("prog.elf") + dravont::msg::kZstdNotBuilt.cp932 +
                                     "\nsection .debug_info is compressed with zstd"),
                          std::string::npos) << r.out;
                EXPECT_NE(r.out.find("--compress-debug-sections=zlib"), std::string::npos);
                continue;
            }
            ASSERT_EQ(r.status, 0) << r.out;
            EXPECT_EQ(r.sym, plain.sym);
            EXPECT_EQ(r.lin, plain.lin);
            if (!debug) continue;
            // One row per compressed section, the uncompressed size as
            // declared; the plain file's listing has no such table.
            const std::string name = layout.packing == Packing::ZlibGnu ? ".zdebug_info" : ".debug_info";
            const std::string row = "|" + name + std::string(32 - name.size(), ' ') + "|" + layout.format + "|  ";
            EXPECT_NE(r.out.find(row), std::string::npos) << r.out;
            EXPECT_EQ(plain.out.find("|compressed|uncompressed|"), std::string::npos);
            EXPECT_EQ(dwarf_part(r.out), dwarf_part(plain.out));
        }
    }
}

// Whatever follows the end of the stream in the section is not read.
TEST_P(CompressedSections, BytesAfterTheStreamAreIgnored) {
    const Layout layout = GetParam();
    if (!reads(layout.packing)) GTEST_SKIP() << "this build does not read zstd";
    const coff_test::RunResult plain = coff_test::run_in_memory(sample_program(false, 42, 5), false, "prog.elf");
    ElfBuilder elf = sample_builder(false, 42, 5, layout.packing);
    for (size_t k = 2; k <= elf.section_count(); ++k) {  // the debug sections
        std::vector<uint8_t>& stored = elf.section(k).data;
        stored.insert(stored.end(), 16, 0xA5);
    }
    const coff_test::RunResult r = coff_test::run_in_memory(elf.build(), false, "prog.elf");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.sym, plain.sym);
    EXPECT_EQ(r.lin, plain.lin);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CompressedSections, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) { return info.param.name; });

// The inflated sections together stay under 1 GiB: headers declaring more
// are refused before anything is allocated or inflated, even where each
// section's data is large enough for the ratio bound (1032 times the
// compressed bytes) to allow it. The data here is no zlib stream at all:
// inflating it first would report that instead.
TEST(CompressedSectionBounds, DeclaredSizesPastTheCapAreRefused) {
    const struct {
        const char* what;
        std::vector<uint32_t> declared;  // per section, .debug_info first
        const char* refused;             // the section named
        const char* listed;              // its row in the listing
    } kCases[] = {
        {"one section", {0x41000000}, ".debug_info", "|.debug_info                     |zlib    |  0010C8EC|    41000000|"},
        {"two sections", {0x30000000, 0x30000000}, ".debug_abbrev",
         "|.debug_abbrev                   |zlib    |  0010C8EC|    30000000|"},
    };
    for (const auto& c : kCases) {
        for (bool big : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (big ? ", big-endian" : ", little-endian"));
            ElfBuilder elf(big, 46);
            const char* names[] = {".debug_info", ".debug_abbrev"};
            for (size_t k = 0; k < c.declared.size(); ++k) {
                ByteWriter data{big};
                data.u32(1), data.u32(c.declared[k]), data.u32(1);  // ELFCOMPRESS_ZLIB, size, alignment
                data.bytes.resize(data.size() + 1100 * 1000, 0x5A);
                elf.add_section({names[k], 1, 0x800, 0, data.bytes});
            }
            const coff_test::RunResult r = coff_test::run_in_memory(elf.build(), true, "big.elf");
            EXPECT_EQ(r.status, 1);
            EXPECT_FALSE(r.committed);
            const std::string expected = std::string("compressed section ") + c.refused + ", declared size 0x" +
                                         (c.declared.size() == 1 ? "41000000" : "30000000") +
                                         " takes the inflated sections past 0x40000000 bytes";
            EXPECT_NE(r.out.find(expected), std::string::npos) << r.out.substr(r.out.size() - 300);
            // The listing, written before, shows the header as it stands.
            EXPECT_NE(r.out.find(c.listed), std::string::npos);
        }
    }
}

}  // namespace
