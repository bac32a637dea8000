#include "coff/symbols.h"

#include <gtest/gtest.h>

#include <functional>

#include "coff/headers.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "driver/run.h"
#include "support/coff_builder.h"

using namespace dravont;
using namespace coff_test;

namespace {

std::string sp(size_t n) { return std::string(n, ' '); }

// A state with the headers decoded and the string table located, as the
// driver leaves it before the listing and the conversion.
struct Loaded {
    TextOut out;
    RunState state{out};
    Loaded(const CoffBuilder& b, bool debug) : Loaded(b.build(), debug) {}
    Loaded(std::vector<uint8_t> bytes, bool debug) {
        allocate_slots(state);
        state.image.assign(bytes);
        decode_file_header(state);
        choose_target_family(state);
        state.stringTable = state.fileHeader->f_symptr + 18ull * state.fileHeader->f_nsyms;
        state.debugMode = debug;
    }
    std::string name() {
        Name n;
        symbol_name(state, n);
        return std::string(n.view());
    }
    std::string file_name() {
        Name n;
        file_aux_name(state, n);
        return std::string(n.view());
    }
};

TEST(Symbols, NamesInlineAndFromTheStringTable) {
    CoffBuilder b;
    const std::string s32(32, 'a'), s33 = std::string(32, 'b') + "X", f40(40, 'c');
    b.add(plain_symbol("_exactly", 1, 4, 2));  // 8 characters, no NUL in the record
    b.add(plain_symbol(s32, 2, 4, 2));
    b.add(plain_symbol(s33, 3, 4, 2));
    SymbolSpec shortInTable = plain_symbol("_ab", 4, 4, 2);
    shortInTable.nameInStringTable = true;
    b.add(shortInTable);
    b.add(file_symbol("fourteen_chars"));  // 14 characters, inline
    b.add(file_symbol(f40));
    Loaded l(b, false);
    const struct {
        uint32_t index;
        std::string name;
    } symbols[] = {{0, "_exactly"}, {1, s32}, {2, s33.substr(0, 32)}, {3, "_ab"}};
    for (const auto& s : symbols) {
        EXPECT_EQ(decode_symbol(l.state, s.index), 0);
        EXPECT_EQ(l.name(), s.name);
    }
    EXPECT_EQ(decode_symbol(l.state, 4), 1);
    EXPECT_EQ(l.file_name(), "fourteen_chars");
    EXPECT_EQ(decode_symbol(l.state, 6), 1);
    EXPECT_EQ(l.file_name(), f40.substr(0, 32));
}

// The auxiliary form and label follow the class and, for C_EXT, the derived type.
TEST(Symbols, AuxFormAndLabelPerClass) {
    const AuxRecord aux = aux_raw({0x00, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x00, 0x00,
                                   0x01, 0xF0, 0x00, 0x00, 0x00, 0x09, 0xAB, 0xCD});
    const std::string line = "00000011 2233 4455 000001F0 00000009  ABCD";
    const std::string function = "00000011 22334455  000001F0 00000009  ABCD";
    const std::string array = "00000011 2233 4455 0000 01F0 0000 0009  ABCD";
    const struct {
        uint8_t sclass;
        uint16_t type;
        std::string label;
        std::string fields;
    } cases[] = {
        {2, 0x0004, "No Type     :", function}, {2, 0x0012, "Pointer     :", line},
        {2, 0x0024, "Function    :", function}, {2, 0x0034, "Array       :", array},
        {3, 0x0034, "Static      :", function}, {1, 0x0004, "AutoVariable:", function},
        {4, 0x0004, "Reg Variable:", function}, {8, 0x0004, "Mem ofStruct:", array},
        {9, 0x0004, "Fuc Argument:", array},    {10, 0x0008, "StructureTag:", function},
        {11, 0x0004, "Mem of Union:", array},   {12, 0x0009, "UnionTag    :", function},
        {13, 0x0004, "TypeDefinite:", function}, {15, 0x000A, "EnumerationT:", function},
        {17, 0x0004, "RegParameter:", function}, {100, 0, "            :", line},
        {101, 0, "            :", line},        {102, 0, "StructureEnd:", function},
    };
    for (const auto& c : cases) {
        CoffBuilder b;
        SymbolSpec s = plain_symbol("_s", 0x10, c.type, c.sclass, 0xFFFF);
        s.aux.push_back(aux);
        b.add(s);
        Loaded l(b, true);
        EXPECT_EQ(decode_symbol(l.state, 0), 1);
        const std::string row(l.out.text());
        ASSERT_GE(row.size(), 80u);
        EXPECT_EQ(row.substr(0, 57), "00000000|_s" + sp(30) + "|00000010|FFFF |");
        EXPECT_EQ(row.substr(80), c.label + c.fields + "\n") << int(c.sclass) << " " << c.type;
        const AuxEntry& a = *l.state.auxEntry;
        if (c.fields == function) {
            EXPECT_EQ(a.function.x_lnnoptr, 0x1F0u);
            EXPECT_EQ(a.function.x_endndx, 9u);
        } else if (c.fields == line) {
            EXPECT_EQ(a.line.x_lnno, 0x2233u);
        } else {
            EXPECT_EQ(a.array.x_dimen[1], 0x01F0u);
        }
    }
}

TEST(Symbols, DebugRowColumns) {
    CoffBuilder b;
    b.magic = 0x0500;  // SH: the type code does not depend on the family
    b.add(plain_symbol("_uc", 0xFFFFFFFF, 0x000C, 3, 0xFFFE));
    b.add(file_symbol("test.c"));
    Loaded l(b, true);
    EXPECT_EQ(decode_symbol(l.state, 0), 0);
    EXPECT_EQ(decode_symbol(l.state, 1), 1);
    EXPECT_EQ(l.out.text(),
              "00000000|_uc" + sp(29) + "|FFFFFFFF|FFFE |000C(Uc)|  03  |  00  |\n" +
              "00000001|.file" + sp(27) + "|00000000|FFFE |0000(nl)|  67  |  01  |FileName    :test.c" +
              sp(26) + "\n");
    EXPECT_EQ(l.state.symbolEntry->n_scnum, 0xFFFE);
}

// Slots keep their contents where nothing replaces them.
TEST(Symbols, SlotsKeepWhatNoDecodeReplaces) {
    CoffBuilder b;
    b.add(function_symbol("_f", 0x100, 0x24, 2, 0x1234, 77));  // 0
    for (uint8_t sclass : {0, 5, 255}) {                          // 2, 4, 6
        SymbolSpec s = plain_symbol("_odd", 1, 4, sclass);
        s.aux.push_back(aux_function(0xDEAD, 0xBEEF));
        b.add(s);
    }
    b.add(plain_symbol("_noaux", 1, 4, 2));  // 8
    SymbolSpec two = plain_symbol("_two", 1, 4, 3);  // 9, aux 10 and 11
    two.aux = {aux_function(0x55, 66), aux_function(0x77, 88)};
    b.add(two);
    b.add(file_symbol("abc.c"));  // 12
    Loaded l(b, false);
    decode_symbol(l.state, 0);
    for (uint32_t i : {2u, 4u, 6u}) {
        EXPECT_EQ(decode_symbol(l.state, i), 1);
        EXPECT_EQ(l.state.auxEntry->function.x_lnnoptr, 0x1234u) << i;
    }
    EXPECT_EQ(decode_symbol(l.state, 8), 0);
    EXPECT_EQ(l.state.auxEntry->function.x_endndx, 77u);
    EXPECT_EQ(decode_symbol(l.state, 9), 2);  // only the first aux record is decoded
    EXPECT_EQ(l.state.auxEntry->function.x_lnnoptr, 0x55u);
    EXPECT_EQ(decode_symbol(l.state, 12), 1);  // the file form writes its name part only
    EXPECT_EQ(l.state.auxEntry->function.x_lnnoptr, 0x55u);
    EXPECT_EQ(l.file_name(), "abc.c");

    Loaded d(b, true);
    for (uint32_t i : {2u, 4u, 6u}) {
        d.out.take();
        decode_symbol(d.state, i);
        const std::string row(d.out.text());
        EXPECT_EQ(row.substr(row.size() - 10), "Auxiliary\n");
    }
}

TEST(Symbols, DebugOffPrintsNothing) {
    Loaded l(worked_example(), false);
    for (uint32_t i = 0; i < 21;) i += 1 + decode_symbol(l.state, i);
    EXPECT_EQ(l.out.text(), "");
}

TEST(Symbols, RecordsOutsideTheTableOrImageAreMalformed) {
    struct Case {
        const char* what;
        std::function<void(CoffBuilder&)> make;
        uint32_t index;
        bool nameRead;
    };
    const Case cases[] = {
        {"aux past f_nsyms", [](CoffBuilder& b) {
             SymbolSpec s = plain_symbol("_a", 1, 4, 2);
             s.numaux = 1;
             b.add(s);
         }, 0, false},
        {"index past f_nsyms", [](CoffBuilder& b) { b.add(plain_symbol("_a", 1, 4, 2)); }, 1, false},
        {"table past the image", [](CoffBuilder& b) {
             b.add(plain_symbol("_a", 1, 4, 2));
             b.nsyms = 0x10000000;
         }, 0x0FFFFFFF, false},
        {"huge f_nsyms cannot wrap", [](CoffBuilder& b) {
             b.add(plain_symbol("_a", 1, 4, 2));
             b.nsyms = 0xFFFFFFFF;
             b.magic = 0xFFFF;  // marks the file for the f_symptr patch below
         }, 0x0E38E38E, false},
        {"name offset past the image", [](CoffBuilder& b) {
             SymbolSpec s = plain_symbol("_long_name_here", 1, 4, 2);
             b.add(s);
             b.nsyms = 1;
         }, 0, true},
    };
    for (const Case& c : cases) {
        CoffBuilder b;
        c.make(b);
        std::vector<uint8_t> bytes = b.build();
        if (b.magic == 0xFFFF) {
            // f_symptr 0x34: 0x34 + 18 * 0x0E38E38E wraps to 0x30 in 32 bits,
            // which would look like a record inside the file.
            const uint8_t symptr[4] = {0x00, 0x00, 0x00, 0x34};
            std::copy(symptr, symptr + 4, bytes.begin() + 8);
        }
        Loaded l(std::move(bytes), false);
        if (c.nameRead) {
            l.state.stringTable = l.state.image.size();  // the name would start past the end
            decode_symbol(l.state, c.index);
            EXPECT_THROW(l.name(), MalformedInput) << c.what;
        } else {
            EXPECT_THROW(decode_symbol(l.state, c.index), MalformedInput) << c.what;
        }
    }
}

TEST(Symbols, StringTableNameMustEndBeforeTheImage) {
    CoffBuilder b;
    b.add(plain_symbol("_a_long_name", 1, 4, 2));
    Loaded l(b, false);
    l.state.image.bytes.pop_back();  // drop the name's NUL
    decode_symbol(l.state, 0);
    EXPECT_THROW(l.name(), MalformedInput);
    // In a debug row the unreadable name is shown, and the row goes on.
    l.state.debugMode = true;
    EXPECT_EQ(decode_symbol(l.state, 0), 0);
    EXPECT_EQ(l.out.text().substr(0, 42), "00000000|(name outside the file)         |");
}

// A name field whose first byte is NUL but whose first four bytes are not all
// zero counts as inline, yet holds no characters: the copy leaves the whole
// field NUL, and the name then reads as the string-table name at offset 0.
// Nothing left from an earlier record may take part.
TEST(Symbols, InlineNameStartingWithNulUsesNoLeftoverOffset) {
    CoffBuilder b;
    b.add(file_symbol(std::string(20, 'L')));  // string-table name, x_offset 4
    SymbolSpec odd = file_symbol("");
    odd.fileName.reset();
    odd.aux.push_back(aux_raw({0x00, 'A', 0, 0, 0, 0, 0, 9}));
    b.add(odd);
    SymbolSpec sym = plain_symbol("", 1, 4, 2);
    b.add(sym);
    Loaded l(b, false);
    decode_symbol(l.state, 0);
    EXPECT_EQ(l.file_name(), std::string(20, 'L'));
    decode_symbol(l.state, 2);
    EXPECT_EQ(l.state.auxEntry->file.x_offset, 0u);
    EXPECT_EQ(l.file_name(), "");  // the string table's length field begins with NUL

    std::vector<uint8_t> bytes = b.build();
    const size_t record = b.symbol_table_offset() + 4 * 18;
    bytes[record] = 0;
    bytes[record + 1] = 'B';  // "\0B" inline: no characters
    Loaded m(bytes, false);
    decode_symbol(m.state, 0);
    decode_symbol(m.state, 4);
    EXPECT_EQ(m.state.symbolEntry->n_offset, 0u);
    EXPECT_EQ(m.name(), "");
}

}  // namespace
