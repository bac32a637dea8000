#include "coff/headers.h"

#include <gtest/gtest.h>

#include "common/run_error.h"
#include "common/run_state.h"
#include "driver/run.h"
#include "support/coff_builder.h"
#include "support/test_run.h"

using namespace dravont;
using coff_test::CoffBuilder;

namespace {

struct Fixture {
    TextOut out;
    RunState state{out};
    explicit Fixture(std::vector<uint8_t> bytes, bool debug = false) {
        allocate_slots(state);
        state.image.assign(bytes);
        state.debugMode = debug;
    }
};

TEST(Headers, FileAndOptionalHeaderBlocks) {
    CoffBuilder b;
    b.magic = 0x0500;
    b.timdat = 0x5F3E2A10;
    b.flags = 0x0203;
    b.symptr = 0x12345;
    b.nsyms = 300;
    b.tsize = 0xD8;
    b.entry = 0x166;
    b.textStart = 0x100;
    Fixture f(b.build(), true);
    decode_file_header(f.state);
    EXPECT_EQ(f.state.fileHeader->f_nsyms, 300u);
    EXPECT_EQ(f.state.fileHeader->f_symptr, 0x12345u);
    decode_optional_header(f.state);
    EXPECT_EQ(f.out.text(),
              "----- File Header -----\n"
              "Magic Number:     0500 \n"
              "NumOfSection:     0000 \n"
              "Time & Date : 5F3E2A10 \n"
              "Symbol Point: 00012345 \n"
              "SymbolEntrry: 0000012C \n"
              "OptionHdSize:     001C \n"
              "Flags       :     0203 \n\n"
              "----- Aout Optional Header -----\n"
              "Type Of File:     0107 \n"
              "VersionStamp:     0000 \n"
              "TextSize    : 000000D8 \n"
              "InitDataSize: 00000000 \n"
              "UninitData  : 00000000 \n"
              "EntryPoint  : 00000166 \n"
              "TextStart   : 00000100 \n"
              "DataStart   : 00000000 \n\n");
}

TEST(Headers, TargetFamilyThreshold) {
    const std::string sh = "SH coff\x83\x74\x83\x40\x83\x43\x83\x8b\n\n";
    const std::string h8 = "H8300 coff\x83\x74\x83\x40\x83\x43\x83\x8b\n\n";
    const struct {
        uint16_t magic;
        TargetFamily family;
    } cases[] = {{0x82FF, TargetFamily::SH}, {0x8300, TargetFamily::H8}, {0x0000, TargetFamily::SH},
                 {0xFFFF, TargetFamily::H8}, {0x8301, TargetFamily::H8}, {0x8302, TargetFamily::H8},
                 {0x0500, TargetFamily::SH}};
    for (const auto& c : cases) {
        for (bool debug : {false, true}) {
            CoffBuilder b;
            b.magic = c.magic;
            Fixture f(b.build(), debug);
            decode_file_header(f.state);
            const size_t before = f.out.text().size();
            choose_target_family(f.state);
            EXPECT_EQ(f.state.targetFamily, c.family) << std::hex << c.magic;
            const std::string line(f.out.text().substr(before));
            EXPECT_EQ(line, debug ? (c.family == TargetFamily::SH ? sh : h8) : "");
        }
    }
}

TEST(Headers, SectionHeaderPositionsNamesAndBlock) {
    CoffBuilder b;
    b.sections = {coff_test::section(".text"), coff_test::section("ABCDEFGH"),
                  coff_test::section(".data")};
    b.sections[2].paddr = 0x1D8;
    b.sections[2].size = 0x18;
    b.sections[2].flags = 0x40;
    b.sections[2].nreloc = 3;
    Fixture f(b.build(), true);
    decode_section_header(f.state, 1);
    EXPECT_EQ(std::string(f.state.sectionHeader->s_name, 8), "ABCDEFGH");
    EXPECT_EQ(f.state.sectionHeaderPosition, 88u);
    f.out.take();
    decode_section_header(f.state, 2);  // replaces what the slot held
    EXPECT_EQ(f.state.sectionHeaderPosition, 128u);
    EXPECT_EQ(std::string(f.state.sectionHeader->s_name, 8), std::string(".data\0\0\0", 8));
    EXPECT_EQ(f.out.text(),
              "------------- Section 03 -------------\n"
              "Section Name: .data   \n"
              "PhysicalAddr: 000001D8 \n"
              "VirtualAddr : 00000000 \n"
              "Section Size: 00000018 \n"
              "RawDataFlPtr: 00000000 \n"
              "RelocatFlPtr: 00000000 \n"
              "LineNumFlPtr: 000000A8 \n"
              "RelocatEntry:     0003 \n"
              "LineNumEntry:     0000 \n"
              "Flags       : 00000040 \n\n");
    f.out.take();
    decode_section_header(f.state, 1);
    EXPECT_EQ(f.out.text().substr(0, 62),
              "------------- Section 02 -------------\nSection Name: ABCDEFGH\n");
}

TEST(Headers, RecordsOutsideTheImageAreMalformed) {
    const auto full = CoffBuilder().build();  // 48 bytes: headers only
    const struct {
        size_t size;
        const char* record;
        uint64_t offset;
    } cases[] = {{0, "file header", 0}, {19, "file header", 0}, {20, "optional header", 20},
                 {47, "optional header", 20}};
    for (const auto& c : cases) {
        Fixture f(std::vector<uint8_t>(full.begin(), full.begin() + c.size));
        try {
            decode_file_header(f.state);
            decode_optional_header(f.state);
            ADD_FAILURE() << c.size;
        } catch (const MalformedInput& e) {
            EXPECT_EQ(e.record(), c.record);
            EXPECT_EQ(e.offset(), c.offset);
            EXPECT_EQ(e.fileSize(), c.size);
        }
    }
    Fixture f(full);
    EXPECT_THROW(decode_section_header(f.state, 0), MalformedInput);
}

TEST(Headers, TruncatedOrEmptyFileEndsTheRunWithStatusOne) {
    const coff_test::RunResult r = coff_test::run_in_memory({}, false, "empty.coff");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.committed);
    // "empty.coff 入力ファイルの形式に誤りがあります。" then the record.
    EXPECT_EQ(r.out,
              "empty.coff \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae"
              "\x82\xc9\x8c\xeb\x82\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\n"
              "file header: offset 0x00000000, file size 0\n\n");
}

TEST(Headers, RelocatableObjectIsRefused) {
    CoffBuilder b;
    b.opthdr = 0;
    for (bool debug : {false, true}) {
        const coff_test::RunResult r = coff_test::run_in_memory(b.build(), debug, "x.o");
        EXPECT_EQ(r.status, 1);
        // "x.o リンク済みの実行ファイルではありません。 f_opthdr=0"
        const std::string message =
            "x.o \x83\x8a\x83\x93\x83\x4e\x8d\xcf\x82\xdd\x82\xcc\x8e\xc0\x8d\x73\x83\x74\x83\x40"
            "\x83\x43\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42"
            " f_opthdr=0\n\n";
        if (debug) {
            // The file-header block and the family line come first.
            EXPECT_NE(r.out.find("OptionHdSize:     0000 \nFlags       :     0000 \n\nH8300 coff"
                                 "\x83\x74\x83\x40\x83\x43\x83\x8b\n\n" + message),
                      std::string::npos);
        } else {
            EXPECT_EQ(r.out, message);
        }
    }
}

}  // namespace
