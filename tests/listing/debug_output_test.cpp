// The whole debug output of the worked example after the two load dumps,
// written out by hand from the column rules.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/coff_builder.h"
#include "support/test_run.h"

using namespace coff_test;

namespace {

std::string sp(size_t n) { return std::string(n, ' '); }

const std::string kRule80 =
    "--------+--------------------------------+--------+-----+--------+------+------+";
const std::string kHeading80 =
    " Index  |           Symbol               | value  |scnum|  type  |sclass|numaux|";
const std::string kRule115 = "    --------+------------+--------+" + kRule80;
const std::string kHeading115 =
    "    LNoIndex|symndx/paddr|  lnno  |SID/Line|  Symbol                        | value  |scnum|"
    "  type  |sclass|numaux|";
const std::string kEmptyColumns = sp(32) + "|        |     |        |      |      |\n";

// Symbol rows of the example, one per primary entry.
const std::string kFile = "00000000|.file" + sp(27) +
                          "|00000000|FFFE |0000(nl)|  67  |  01  |FileName    :test.c" + sp(26) + "\n";
const std::string kMain = "00000002|_main" + sp(27) +
                          "|00000100|0001 |0024(i) |  02  |  01  |Function    :00000000 00000000  "
                          "000001F0 00000009  0000\n";
const std::string kBf1 = "00000004|.bf" + sp(29) +
                         "|00000100|0001 |0000(nl)|  65  |  01  |            :00000000 0005 0000 "
                         "00000000 00000000  0000\n";
const std::string kCount = "00000006|_count" + sp(26) + "|00000200|0002 |0004(i) |  03  |  00  |\n";
const std::string kEf1 = "00000007|.ef" + sp(29) +
                         "|00000116|0001 |0000(nl)|  65  |  01  |            :00000000 0001 0000 "
                         "00000000 00000000  0000\n";
const std::string kTick = "00000009|_tick" + sp(27) +
                          "|00000118|0001 |0024(i) |  03  |  01  |Static      :00000000 00000000  "
                          "00000210 00000010  0000\n";
const std::string kBf2 = "0000000B|.bf" + sp(29) +
                         "|00000118|0001 |0000(nl)|  65  |  01  |            :00000000 000C 0000 "
                         "00000000 00000000  0000\n";
const std::string kDepth = "0000000D|_depth" + sp(26) + "|00000204|0002 |000D(Us)|  03  |  00  |\n";
const std::string kEf2 = "0000000E|.ef" + sp(29) +
                         "|00000124|0001 |0000(nl)|  65  |  01  |            :00000000 0001 0000 "
                         "00000000 00000000  0000\n";
const std::string kTable = "00000010|_table" + sp(26) +
                           "|00000300|0002 |0035(l) |  02  |  01  |Array       :00000000 0000 0010 "
                           "0008 0000 0000 0000  0000\n";
const std::string kFlag = "00000012|_flag" + sp(27) + "|00000310|0003 |0002(c) |  03  |  00  |\n";
const std::string kText = "00000013|.text" + sp(27) +
                          "|00000100|0001 |0000(nl)|  03  |  01  |Static      :00000024 00000007  "
                          "00000000 00000000  0000\n";

std::string section_block(const char* number, const char* name, const char* lnnoptr,
                          const char* nlnno) {
    return std::string("------------- Section ") + number + " -------------\n" +
           "Section Name: " + name + "\n" +
           "PhysicalAddr: 00000000 \n"
           "VirtualAddr : 00000000 \n"
           "Section Size: 00000000 \n"
           "RawDataFlPtr: 00000000 \n"
           "RelocatFlPtr: 00000000 \n"
           "LineNumFlPtr: " + lnnoptr + " \n"
           "RelocatEntry:     0000 \n"
           "LineNumEntry:     " + nlnno + " \n"
           "Flags       : 00000000 \n\n";
}

std::string line_row(const char* k, const char* paddr, const char* lnno, const char* plus) {
    return std::string("     ") + k + " |  " + paddr + "  |" + lnno + "|" + plus + "   |" + kEmptyColumns;
}

std::string first_entry_row(const char* k, const char* symndx, const std::string& symbolRow) {
    return std::string("     ") + k + " |  " + symndx + "  |00000000|" + symbolRow;
}

TEST(DebugOutput, WorkedExampleAfterTheDumps) {
    const std::string text1 = section_block("01", ".text   ", "000001F0", "0007");
    std::string expected =
        "----- File Header -----\n"
        "Magic Number:     8300 \n"
        "NumOfSection:     0003 \n"
        "Time & Date : 00000000 \n"
        "Symbol Point: 00000228 \n"
        "SymbolEntrry: 00000015 \n"
        "OptionHdSize:     001C \n"
        "Flags       :     0000 \n\n"
        "H8300 coff\x83\x74\x83\x40\x83\x43\x83\x8b\n\n"
        "----- Aout Optional Header -----\n"
        "Type Of File:     0107 \n"
        "VersionStamp:     0000 \n"
        "TextSize    : 00000000 \n"
        "InitDataSize: 00000000 \n"
        "UninitData  : 00000000 \n"
        "EntryPoint  : 00000000 \n"
        "TextStart   : 00000000 \n"
        "DataStart   : 00000000 \n\n";
    // The listing: sections with their line tables, then the symbol table.
    expected += text1 + kRule115 + "\n" + kHeading115 + "\n" + kRule115 + "\n" +
                first_entry_row("000000", "00000002", kMain) +
                line_row("000001", "00000104", "00000002", "+0002") +
                line_row("000002", "0000010A", "00000003", "+0003") +
                line_row("000003", "00000112", "00000005", "+0005") +
                first_entry_row("000004", "00000009", kTick) +
                line_row("000005", "0000011C", "00000002", "+0002") +
                line_row("000006", "00000120", "00000003", "+0003") + kRule115 + "\n\n";
    expected += section_block("02", ".data   ", "00000228", "0000");
    expected += section_block("03", ".bss    ", "00000228", "0000");
    const std::string symbolHeading = kRule80 + "\n" + kHeading80 + "\n" + kRule80 + "\n";
    expected += symbolHeading + kFile + kMain + kBf1 + kCount + kEf1 + kTick + kBf2 + kDepth +
                kEf2 + kTable + kFlag + kText + kRule80 + "\n\n\n\n";
    // The conversion pass: the rows again, with the line work after each .bf.
    const std::string start = "\n************************ Line Information Start test.c  "
                              "************************\n\n";
    const std::string end = "\n************************ Line Information End test.c  "
                            "************************\n\n";
    expected += symbolHeading + kFile + kMain + kBf1 + start +
                first_entry_row("000000", "00000002", kMain) + "\n" + text1 +
                "     Line Base Number ------------>    5\n" +
                line_row("000001", "00000104", "00000002", "+0002") +
                line_row("000002", "0000010A", "00000003", "+0003") +
                line_row("000003", "00000112", "00000005", "+0005") +
                first_entry_row("000004", "00000009", kTick) + end;
    expected += kCount + kEf1 + kTick + kBf2 + start + first_entry_row("000000", "00000009", kTick) +
                "\n" + text1 + "     Line Base Number ------------>   12\n" +
                line_row("000001", "0000011C", "00000002", "+0002") +
                line_row("000002", "00000120", "00000003", "+0003") + end;
    expected += kDepth + kEf2 + kTable + kFlag + kText;
    expected += "complete symbols=6 lineCount=7\n";

    const RunResult r = run_in_memory(worked_example().build(), true);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(after_dumps(r.out), expected);
}

TEST(DebugOutput, ListingFrameForSectionsWithoutLinesAndEmptySymbolTable) {
    CoffBuilder b;
    b.sections = {section(".text")};
    b.sections[0].name = "12345678";  // a full-width name has no terminator
    const RunResult r = run_in_memory(b.build(), true);
    ASSERT_EQ(r.status, 0);
    const std::string out = after_dumps(r.out);
    const std::string listing = section_block("01", "12345678", "00000058", "0000") + kRule80 +
                                "\n" + kHeading80 + "\n" + kRule80 + "\n" + kRule80 + "\n\n\n\n";
    EXPECT_NE(out.find("DataStart   : 00000000 \n\n" + listing + kRule80 + "\n" + kHeading80 +
                       "\n" + kRule80 + "\ncomplete symbols=0 lineCount=0\n"),
              std::string::npos)
        << out;
}

TEST(DebugOutput, NoSectionsPrintsOnlyTheSymbolTable) {
    CoffBuilder b;
    b.add(plain_symbol("_x", 1, 0x02, 2));
    const RunResult r = run_in_memory(b.build(), true);
    ASSERT_EQ(r.status, 0);
    const std::string row = "00000000|_x" + sp(30) + "|00000001|0001 |0002(c) |  02  |  00  |\n";
    EXPECT_NE(after_dumps(r.out).find("DataStart   : 00000000 \n\n" + kRule80 + "\n" + kHeading80 +
                                      "\n" + kRule80 + "\n" + row + kRule80 + "\n\n\n\n"),
              std::string::npos);
}

// What only the listing reads may be broken without failing the run: the
// conversion never needs it, and -debug must not turn success into failure.
TEST(DebugOutput, ListingNotesWhatItCannotReadAndTheRunSucceeds) {
    struct Case {
        const char* what;
        std::function<void(CoffBuilder&)> build;
        const char* note;
    };
    const Case cases[] = {
        {"section count past the file", [](CoffBuilder& b) { b.nscns = 200; },
         "*** section header 2 lies outside the file"},
        {"line table past the file",
         [](CoffBuilder& b) { b.sections[0].lnnoptr = 0xFFFFFF00; },
         "*** line-number entry 0 lies outside the file (offset 0xFFFFFF00"},
        {"unreadable name of an untyped symbol",
         [](CoffBuilder& b) {
             SymbolSpec s = plain_symbol("_unused_label", 0, 0, 6);  // C_LABEL
             b.add(s);
         },
         "|(name outside the file)         |"},
    };
    for (const Case& c : cases) {
        CoffBuilder b;
        b.sections = {section(".text", {{0, 0}, {0x102, 2}})};
        b.add(plain_symbol("_x", 1, 0x02, 2));
        c.build(b);
        auto image = b.build();
        if (std::string(c.what).find("name") != std::string::npos) {
            image.pop_back();  // the last string-table name loses its NUL
        }
        const RunResult plain = run_in_memory(image, false);
        const RunResult debug = run_in_memory(image, true);
        EXPECT_EQ(plain.status, 0) << c.what << plain.out;
        EXPECT_EQ(debug.status, 0) << c.what;
        EXPECT_EQ(plain.sym, debug.sym) << c.what;
        EXPECT_NE(debug.out.find(c.note), std::string::npos) << c.what << "\n" << after_dumps(debug.out);
    }
}

TEST(DebugOutput, SharedLineTableIsListedOnce) {
    // Many sections pointing at one long table would multiply the listing.
    CoffBuilder b;
    b.lineTablesAt = 0x200;  // fixed, whatever the number of sections
    b.sections = {section(".text", {{0, 0}, {0x102, 2}, {0x104, 3}})};
    for (int n = 0; n < 3; ++n) {
        SectionSpec copy = section(".copy");
        copy.lnnoptr = b.line_offset(0, n == 2 ? 1 : 0);
        copy.nlnno = 2;
        b.sections.push_back(copy);
    }
    b.add(plain_symbol("_x", 1, 0x02, 2));
    const RunResult r = run_in_memory(b.build(), true);
    ASSERT_EQ(r.status, 0);
    const std::string note =
        "*** line-number table shares entries with one listed above; not listed again ***\n\n";
    size_t notes = 0;
    for (size_t at = r.out.find(note); at != std::string::npos; at = r.out.find(note, at + 1)) ++notes;
    EXPECT_EQ(notes, 3u);
    EXPECT_NE(r.out.find("LineNumEntry:     0002 \nFlags       : 00000000 \n\n" + note), std::string::npos);
}

}  // namespace
