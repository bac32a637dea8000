// Byte-level checks of the ELF/DWARF test writer against the file formats.
#include "support/elf_builder.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace elf_test;
using Bytes = std::vector<uint8_t>;

namespace {

uint32_t get(const Bytes& b, size_t at, size_t n, bool big) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t{b.at(at + i)} << 8 * (big ? n - 1 - i : i);
    return v;
}

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

TEST(ElfBuilder, Leb128) {
    const struct { int64_t value; bool isSigned; Bytes bytes; } cases[] = {
        {0, false, {0x00}},  {127, false, {0x7F}},        {128, false, {0x80, 0x01}},
        {624485, false, {0xE5, 0x8E, 0x26}},              {-1, true, {0x7F}},
        {63, true, {0x3F}},  {64, true, {0xC0, 0x00}},    {-128, true, {0x80, 0x7F}},
        {-123456, true, {0xC0, 0xBB, 0x78}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.isSigned ? sleb128(c.value) : uleb128(static_cast<uint64_t>(c.value)), c.bytes) << c.value;
}

TEST(ElfBuilder, HeaderSectionsAndSymbolsInBothByteOrders) {
    for (bool big : {true, false}) {
        ElfBuilder elf(big, 42);
        elf.entry = 0x1000;
        const size_t text = elf.add_section({".text", 1, 6, 0x1000, {1, 2, 3, 4, 5}, 0, 0, 4});
        elf.add_symbol({"_main", 0x1000, 5});
        elf.add_symbol({"_helper", 0x1004, 1, 0x02});  // STB_LOCAL, added after a global one
        const Bytes f = elf.build();
        const ElfLayout l = elf.layout();
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        EXPECT_EQ(slice(f, 0, 7), (Bytes{0x7F, 'E', 'L', 'F', 1, uint8_t(big ? 2 : 1), 1}));
        EXPECT_EQ(f.size(), l.fileSize);
        EXPECT_EQ(l.offsets[text] % 4, 0u);
        // Sections: null, .text, .symtab, .strtab, .shstrtab. The symbol table has
        // 16-byte entries, links .strtab, and sh_info is one past the last local symbol.
        const uint32_t sh = l.section_header(text), st = l.section_header(l.symtabIndex);
        const uint32_t sym1 = l.offsets[l.symtabIndex] + 16;
        const struct { size_t at, n; uint32_t value; } fields[] = {
            {16, 2, 2},      {18, 2, 42},     {20, 4, 1},    {24, 4, 0x1000},   {32, 4, l.shoff},
            {40, 2, 52},     {46, 2, 40},     {48, 2, 5},    {50, 2, 4},        {sh + 16, 4, l.offsets[text]},
            {sh + 20, 4, 5}, {st + 20, 4, 48}, {st + 24, 4, 3}, {st + 28, 4, 2}, {st + 36, 4, 16},
            {sym1 + 4, 4, 0x1004}, {sym1 + 12, 1, 0x02}, {sym1 + 28, 1, 0x12}};
        for (const auto& x : fields) EXPECT_EQ(get(f, x.at, x.n, big), x.value) << "offset " << x.at;
        EXPECT_EQ(slice(f, l.offsets[text], 5), (Bytes{1, 2, 3, 4, 5}));
        const auto name = [&](uint32_t table, uint32_t at) {
            return std::string(reinterpret_cast<const char*>(&f[table + at]));
        };
        EXPECT_EQ(name(get(f, l.section_header(4) + 16, 4, big), get(f, sh, 4, big)), ".text");
        EXPECT_EQ(name(l.offsets[l.strtabIndex], get(f, sym1, 4, big)), "_helper");
    }
}

// Two units; the second refers to the first's root with ref_addr (address-sized
// in version 2, 4 bytes later) and to its own root with ref_udata (unit-relative).
TEST(DwarfBuilder, UnitHeaders) {
    const struct { uint8_t version; bool big; uint8_t addrSize; Bytes info; uint32_t second; } cases[] = {
        {2, true, 2, {0, 0, 0, 10, 0, 2, 0, 0, 0, 0, 2, 1, 'a', 0,  // unit_length, version, abbrev offset, address size
                      0, 0, 0, 13, 0, 2, 0, 0, 0, 8, 2, 1, 'b', 0, 0, 11, 11}, 14},
        {5, false, 4, {11, 0, 0, 0, 5, 0, 1, 4, 0, 0, 0, 0, 1, 'a', 0,  // + unit_type before address size
                       16, 0, 0, 0, 5, 0, 1, 4, 8, 0, 0, 0, 1, 'b', 0, 12, 0, 0, 0, 12}, 15},
    };
    for (const auto& c : cases) {
        DwarfBuilder d(c.big, c.version, c.addrSize);
        d.add_unit({DW_TAG_compile_unit, {text(DW_AT_name, "a")}, {}, "a"});
        d.add_unit({DW_TAG_compile_unit, {text(DW_AT_name, "b"), ref(DW_AT_type, "a", DW_FORM_ref_addr),
                                          ref(DW_AT_specification, "b", DW_FORM_ref_udata)}, {}, "b"});
        const DebugSections s = d.sections();
        EXPECT_EQ(s.info, c.info) << int(c.version);
        EXPECT_EQ(s.abbrev, (Bytes{1, 0x11, 0, 3, 8, 0, 0, 0, 1, 0x11, 0, 3, 8, 0x49, 0x10, 0x47, 0x15, 0, 0, 0}));
        EXPECT_EQ(s.unitOffsets, (std::vector<uint32_t>{0, c.second}));
        EXPECT_EQ(s.abbrevOffsets, (std::vector<uint32_t>{0, 8}));
    }
}

// Abbreviations shared by identical shapes, a forward reference in ref4 and
// ref_udata, DW_FORM_implicit_const in the abbreviation only.
TEST(DwarfBuilder, AbbreviationsAndReferences) {
    DwarfBuilder d(true, 5);
    Die cu{DW_TAG_compile_unit, {text(DW_AT_name, "m.c")}};
    cu.children = {{DW_TAG_variable, {text(DW_AT_name, "x"), ref(DW_AT_type, "int")}},
                   {DW_TAG_variable, {text(DW_AT_name, "y"), ref(DW_AT_type, "int")}},
                   {DW_TAG_variable, {text(DW_AT_name, "z"), ref(DW_AT_type, "int", DW_FORM_ref_udata)}},
                   {DW_TAG_base_type, {text(DW_AT_name, "int"), sconstant(DW_AT_byte_size, 2, DW_FORM_implicit_const),
                                       constant(DW_AT_encoding, DW_ATE_signed, DW_FORM_data1)}, {}, "int"}};
    d.add_unit(cu);
    const DebugSections s = d.sections();
    EXPECT_EQ(s.info, (Bytes{0, 0, 0, 38, 0, 5, 1, 4, 0, 0, 0, 0, 1, 'm', '.', 'c', 0,
                             2, 'x', 0, 0, 0, 0, 35, 2, 'y', 0, 0, 0, 0, 35, 3, 'z', 0, 35,
                             4, 'i', 'n', 't', 0, 5, 0}));
    EXPECT_EQ(s.abbrev, (Bytes{1, 0x11, 1, 3, 8, 0, 0, 2, 0x34, 0, 3, 8, 0x49, 0x13, 0, 0,
                               3, 0x34, 0, 3, 8, 0x49, 0x15, 0, 0,
                               4, 0x24, 0, 3, 8, 0x0b, 0x21, 2, 0x3e, 0x0b, 0, 0, 0}));
    EXPECT_EQ(s.dieOffsets.at("int"), 35u);
    cu.children[0].attrs[1].target = "nothing";
    DwarfBuilder bad(true, 5);
    bad.add_unit(cu);
    EXPECT_THROW(bad.sections(), std::invalid_argument);
}

// strx1 through .debug_str_offsets (with DW_AT_str_offsets_base added), strp, line_strp.
TEST(DwarfBuilder, StringForms) {
    DwarfBuilder d(false, 5);
    d.add_unit({DW_TAG_compile_unit, {text(DW_AT_name, "a.c", DW_FORM_strx1), text(DW_AT_producer, "cc", DW_FORM_strp),
                                      text(DW_AT_comp_dir, "/w", DW_FORM_line_strp)}});
    const DebugSections s = d.sections();
    EXPECT_EQ(slice(s.info, 12, 14), (Bytes{1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0}));
    EXPECT_EQ(s.str, (Bytes{'a', '.', 'c', 0, 'c', 'c', 0}));
    EXPECT_EQ(s.lineStr, (Bytes{'/', 'w', 0}));
    EXPECT_EQ(s.strOffsets, (Bytes{8, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(slice(s.abbrev, 3, 9), (Bytes{3, 0x25, 0x25, 0x0e, 0x1b, 0x1f, 0x72, 0x17, 0}));
}

// One directory, one file, set_address / special / end_sequence; the
// header as each version lays it out.
TEST(DwarfBuilder, LineProgramHeaders) {
    const Bytes lengths{0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};
    const Bytes v234Tables{'d', 0, 0, 'a', '.', 'c', 0, 1, 0, 0, 0};
    const Bytes v5Tables{1, 1, 8, 1, 'd', 0, 2, 1, 8, 2, 0x0f, 1, 'a', '.', 'c', 0, 1};
    const struct { uint8_t version; bool big; Bytes header, tables, program; } cases[] = {
        {2, true, {0, 0, 0, 45, 0, 2, 0, 0, 0, 28, 1, 1, 0xfb, 14, 13}, v234Tables,
         {0, 5, 2, 0, 0, 0x10, 0, 0x2f, 0, 1, 1}},
        {3, false, {45, 0, 0, 0, 3, 0, 28, 0, 0, 0, 1, 1, 0xfb, 14, 13}, v234Tables,
         {0, 5, 2, 0, 0x10, 0, 0, 0x2f, 0, 1, 1}},
        {4, true, {0, 0, 0, 46, 0, 4, 0, 0, 0, 29, 1, 1, 1, 0xfb, 14, 13}, v234Tables,  // + maximum_operations
         {0, 5, 2, 0, 0, 0x10, 0, 0x2f, 0, 1, 1}},
        {5, false, {54, 0, 0, 0, 5, 0, 4, 0, 35, 0, 0, 0, 1, 1, 1, 0xfb, 14, 13}, v5Tables,  // + address sizes
         {0, 5, 2, 0, 0x10, 0, 0, 0x2f, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        LineProgram lp;
        lp.dirs = {"d"};
        lp.files = {{"a.c", 1}};
        lp.set_address(0x1000).special(2, 1).end_sequence();
        DwarfBuilder d(c.big, c.version);
        d.add_unit({DW_TAG_compile_unit}, lp);
        Bytes expected = c.header;
        for (const Bytes* part : {&lengths, &c.tables, &c.program})
            expected.insert(expected.end(), part->begin(), part->end());
        const DebugSections s = d.sections();
        EXPECT_EQ(s.line, expected) << int(c.version);
        // DW_AT_stmt_list added: data4 up to version 3, sec_offset from 4.
        EXPECT_EQ(s.abbrev, (Bytes{1, 0x11, 0, 0x10, uint8_t(c.version >= 4 ? 0x17 : 0x06), 0, 0, 0}));
    }
}

TEST(DwarfBuilder, SpecialOpcodes) {
    const struct { int8_t lineBase; uint8_t lineRange, opcodeBase; uint64_t op; int64_t line; int code; } cases[] = {
        {-5, 14, 13, 2, 1, 47},   {-5, 14, 13, 0, -5, 13},  {-5, 14, 13, 17, -5, 251}, {-3, 12, 10, 1, 2, 27},
        {-5, 14, 13, 17, 0, -1},  {-5, 14, 13, 0, 9, -1},   {-5, 14, 13, 0, -6, -1},
    };
    for (const auto& c : cases) {
        LineProgram p;
        p.lineBase = c.lineBase, p.lineRange = c.lineRange, p.opcodeBase = c.opcodeBase;
        if (c.code < 0) EXPECT_THROW(special_opcode(p, c.op, c.line), std::invalid_argument);
        else EXPECT_EQ(special_opcode(p, c.op, c.line), c.code) << c.op << " " << c.line;
    }
}

TEST(DwarfBuilder, RangeLists) {
    const std::vector<RangeEntry> list{{DW_RLE_base_address, 0x1000}, {DW_RLE_start_end, 0x10, 0x20},
                                       {DW_RLE_offset_pair, 0x30, 0x34}};
    DwarfBuilder v4(true, 4), v5(false, 5);
    EXPECT_EQ(v4.add_range_list(list), 0u);
    EXPECT_EQ(v4.add_range_list({{DW_RLE_start_length, 0x40, 2}}), 32u);
    EXPECT_EQ(v5.add_range_list(list), 12u);
    EXPECT_EQ(v5.add_range_list({{DW_RLE_start_length, 0x40, 2}}), 30u);
    EXPECT_EQ(v4.sections().ranges, (Bytes{0xff, 0xff, 0xff, 0xff, 0, 0, 0x10, 0, 0, 0, 0, 0x10, 0, 0, 0, 0x20,
                                            0, 0, 0, 0x30, 0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0x40, 0, 0, 0, 0x42, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(v5.sections().rnglists, (Bytes{33, 0, 0, 0, 5, 0, 4, 0, 0, 0, 0, 0, 5, 0, 0x10, 0, 0,
                                             6, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 4, 0x30, 0x34, 0,
                                             7, 0x40, 0, 0, 0, 2, 0}));
}

}  // namespace
