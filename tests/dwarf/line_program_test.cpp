// The .debug_line decoder on hand-assembled units: one program per version
// in both byte orders, the special-opcode arithmetic of the format's worked
// examples, malformed units, and the joining of file paths.
#include "dwarf/line_program.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "common/run_error.h"
#include "support/dwarf_emitter.h"

using namespace dravont;

namespace {

using dwarf_test::Bytes;

using dwarf_test::Emitter;

struct Params {
    uint16_t version = 4;
    uint8_t minInst = 2;
    uint8_t maxOps = 1;
    int8_t lineBase = -5;
    uint8_t lineRange = 14;
    uint8_t opcodeBase = 13;
    uint8_t addressSize = 4;
};

// Operand counts of the standard opcodes; higher (unknown) ones take two.
uint8_t operand_count(unsigned op) {
    static const uint8_t counts[] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};
    return op <= 12 ? counts[op - 1] : 2;
}

// A whole unit: unit_length and header_length are computed.
Bytes unit(ByteOrder o, const Params& p, const Bytes& tables, const Bytes& program) {
    Emitter h(o);
    h.u8(p.minInst);
    if (p.version >= 4) h.u8(p.maxOps);
    h.u8(1).u8(static_cast<uint8_t>(p.lineBase)).u8(p.lineRange).u8(p.opcodeBase);
    for (unsigned op = 1; op < p.opcodeBase; ++op) h.u8(operand_count(op));
    h.raw(tables);
    Emitter u(o);
    u.u16(p.version);
    if (p.version >= 5) u.u8(p.addressSize).u8(0);
    u.u32(h.bytes.size()).raw(h.bytes).raw(program);
    Emitter whole(o);
    whole.u32(u.bytes.size()).raw(u.bytes);
    return whole.bytes;
}

// Program writers for the header `p`.
void special(Emitter& e, const Params& p, int lineAdvance, unsigned opAdvance) {
    const int op = lineAdvance - p.lineBase + p.lineRange * static_cast<int>(opAdvance) + p.opcodeBase;
    ASSERT_TRUE(lineAdvance >= p.lineBase && lineAdvance < p.lineBase + p.lineRange && op <= 255);
    e.u8(static_cast<uint8_t>(op));
}
void extended(Emitter& e, uint8_t sub, const Bytes& operands) {
    e.u8(0).uleb(operands.size() + 1).u8(sub).raw(operands);
}
void set_address(Emitter& e, const Params& p, uint64_t address) {
    Emitter operand(e.order());
    operand.fixed(address, p.addressSize);
    extended(e, 2, operand.bytes);
}
void end_sequence(Emitter& e) { extended(e, 1, {}); }

ByteSpan span_of(const Bytes& b, const char* name) { return dwarf_test::span_of(b, name, 0x10000); }

struct Sections {
    Bytes line, lineStr, str;
    DwarfSections get(ByteOrder o) const {
        DwarfSections d;
        d.order = o;
        d.line = span_of(line, "section .debug_line");
        d.lineStr = span_of(lineStr, "section .debug_line_str");
        d.str = span_of(str, "section .debug_str");
        return d;
    }
};

// --- One program per version -------------------------------------------

// Version 2 to 4 tables: directory 1 is "lib"; files 1 and 2 are main.c and
// lib/util.h.
Bytes v4_tables(ByteOrder o) {
    Emitter e(o);
    e.str("lib").u8(0);
    e.str("main.c").uleb(0).uleb(0x5f000000).uleb(1234);
    e.str("util.h").uleb(1).uleb(0).uleb(0);
    e.u8(0);
    return e.bytes;
}

// Version 5 tables: directories through .debug_line_str ("/work/proj" at 1,
// "lib" at 12); files with an inline path, a directory index, an MD5, a size
// and a vendor block the decoder must skip.
Bytes v5_tables(ByteOrder o) {
    Emitter e(o);
    e.u8(1).uleb(1).uleb(0x1f);  // path: line_strp
    e.uleb(2).u32(1).u32(12);
    e.u8(5).uleb(1).uleb(0x08).uleb(2).uleb(0x0f).uleb(5).uleb(0x1e).uleb(4).uleb(0x06).uleb(0x2001).uleb(0x09);
    e.uleb(2);
    for (const char* name : {"main.c", "util.h"}) {
        e.str(name).uleb(name[0] == 'm' ? 0 : 1);
        for (int k = 0; k < 16; ++k) e.u8(0xa0 + k);
        e.u32(4096).uleb(3).u8(1).u8(2).u8(3);
    }
    return e.bytes;
}

// The same rows in every version: file 3 is a DW_LNE_define_file entry in
// versions 2 to 4, and file 0 (the primary file) in version 5.
Bytes version_program(ByteOrder o, const Params& p) {
    Emitter g(o);
    set_address(g, p, 0x1000);
    g.u8(3).sleb(9).u8(1);                                   // 0x1000 line 10
    special(g, p, 1, 1);                                     // 0x1002 line 11
    g.u8(4).uleb(2).u8(2).uleb(3).u8(6);                     // file 2, 0x1008, not a stmt
    special(g, p, 0, 0);
    g.u8(6).u8(5).uleb(7).u8(7).u8(8);                       // const_add_pc: + 2 * 17
    g.u8(9).u16(0x10).u8(3).sleb(-4).u8(1);                  // 0x103a line 7
    if (p.opcodeBase > 13) g.u8(13).uleb(300).uleb(5);       // unknown standard opcode
    if (p.opcodeBase > 12) g.u8(10).u8(11).u8(12).uleb(3);
    extended(g, 0x80, {1, 2, 3});                            // vendor opcode
    extended(g, 4, {4});                                     // discriminator
    Emitter f(o);
    f.str("gen.c").uleb(1).uleb(0).uleb(0);
    extended(g, 3, f.bytes);                                 // DW_LNE_define_file, reserved in v5
    g.u8(4).uleb(p.version < 5 ? 3 : 0);
    special(g, p, 2, 2);                                     // 0x103e line 9
    g.u8(2).uleb(1);
    end_sequence(g);                                         // 0x1040
    set_address(g, p, 0x2000);                               // the registers were reset
    g.u8(1).u8(2).uleb(1);
    end_sequence(g);
    return g.bytes;
}

struct VersionCase {
    uint16_t version;
    uint8_t opcodeBase;
    uint32_t lastFile;
    const char* lastPath;  // with DW_AT_comp_dir "/work/proj"
};

TEST(LineProgram, OneProgramPerVersionInBothByteOrders) {
    const VersionCase cases[] = {
        {2, 10, 3, "/work/proj/lib/gen.c"},
        {3, 13, 3, "/work/proj/lib/gen.c"},
        {4, 14, 3, "/work/proj/lib/gen.c"},
        {5, 14, 0, "/work/proj/main.c"},
    };
    for (const VersionCase& c : cases) {
        for (ByteOrder o : {ByteOrder::Big, ByteOrder::Little}) {
            SCOPED_TRACE("version " + std::to_string(c.version) + (o == ByteOrder::Big ? " big" : " little"));
            Params p;
            p.version = c.version;
            p.opcodeBase = c.opcodeBase;
            Sections s;
            // The unit stands at offset 3, followed by another unit's start.
            s.line = {0xee, 0xee, 0xee};
            Emitter u(o);
            u.raw(unit(o, p, c.version < 5 ? v4_tables(o) : v5_tables(o), version_program(o, p)));
            u.u32(0x40).u16(4);
            s.line.insert(s.line.end(), u.bytes.begin(), u.bytes.end());
            s.lineStr = {0, '/', 'w', 'o', 'r', 'k', '/', 'p', 'r', 'o', 'j', 0, 'l', 'i', 'b', 0};

            const LineTable t = decode_line_table(s.get(o), 3, 4);
            EXPECT_EQ(t.version, c.version);
            EXPECT_EQ(t.offset, 3u);
            const uint32_t f = c.lastFile;
            const std::vector<LineRow> expected = {
                {0x1000, 1, 10, false}, {0x1002, 1, 11, false}, {0x1008, 2, 11, false},
                {0x103a, 2, 7, false},  {0x103e, f, 9, false},  {0x1040, f, 9, true},
                {0x2000, 1, 1, false},  {0x2002, 1, 1, true},
            };
            ASSERT_EQ(t.rows.size(), expected.size());
            for (size_t k = 0; k < expected.size(); ++k) {
                const LineRow& r = t.rows[k];
                EXPECT_EQ(r.address, expected[k].address) << "row " << k;
                EXPECT_EQ(r.file, expected[k].file) << "row " << k;
                EXPECT_EQ(r.line, expected[k].line) << "row " << k;
                EXPECT_EQ(r.endSequence, expected[k].endSequence) << "row " << k;
            }
            const uint32_t mainFile = c.version < 5 ? 1 : 0;
            EXPECT_EQ(line_file_path(t, mainFile, "/work/proj"), "/work/proj/main.c");
            EXPECT_EQ(line_file_path(t, mainFile + 1, "/work/proj"), "/work/proj/lib/util.h");
            EXPECT_EQ(line_file_path(t, f, "/work/proj"), c.lastPath);
            EXPECT_EQ(t.files.size(), c.version < 5 ? 4u : 2u);
            const std::vector<std::string> dirs =
                c.version < 5 ? std::vector<std::string>{"", "lib"} : std::vector<std::string>{"/work/proj", "lib"};
            EXPECT_EQ(t.directories, dirs);
        }
    }
}

TEST(LineProgram, VersionFivePathForms) {
    struct Case {
        uint8_t form;
        Bytes operand;
        const char* path;
    };
    const Case cases[] = {
        {0x08, {'/', 'd', 0}, "/d"},   // DW_FORM_string
        {0x1f, {0, 0, 0, 1}, "lib"},   // DW_FORM_line_strp
        {0x0e, {0, 0, 0, 2}, "/src"},  // DW_FORM_strp
    };
    for (const Case& c : cases) {
        Bytes tables = {1, 1, c.form, 1};
        tables.insert(tables.end(), c.operand.begin(), c.operand.end());
        tables.insert(tables.end(), {0, 0});
        Params p;
        p.version = 5;
        Sections s;
        s.line = unit(ByteOrder::Big, p, tables, {});
        s.lineStr = {0, 'l', 'i', 'b', 0};
        s.str = {'x', 0, '/', 's', 'r', 'c', 0};
        const LineTable t = decode_line_table(s.get(ByteOrder::Big), 0, 4);
        EXPECT_EQ(t.directories, std::vector<std::string>{c.path});
        EXPECT_TRUE(t.files.empty());
    }
}

// --- Special-opcode arithmetic --------------------------------------------

struct Row {
    uint64_t address;
    uint32_t line;
    bool end;
};

std::vector<Row> rows_of(const Params& p, const Bytes& program, uint8_t addressSize = 4) {
    Sections s;
    s.line = unit(ByteOrder::Big, p, {0, 0}, program);
    std::vector<Row> rows;
    for (const LineRow& r : decode_line_table(s.get(ByteOrder::Big), 0, addressSize).rows) {
        rows.push_back({r.address, r.line, r.endSequence});
    }
    return rows;
}

bool operator==(const Row& a, const Row& b) { return a.address == b.address && a.line == b.line && a.end == b.end; }
std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << std::hex << "0x" << r.address << std::dec << " line " << r.line << (r.end ? " end" : "");
}

TEST(LineProgram, WorkedExampleOfTheFormat) {
    // The format's own example: minimum_instruction_length 1, opcode_base 10,
    // line_base 1, line_range 15; opcodes 0x0b, 0x38, 0x82 and 0x73 are
    // SPECIAL(2, 0), SPECIAL(2, 3), SPECIAL(1, 8) and SPECIAL(1, 7).
    Params p;
    p.minInst = 1;
    p.opcodeBase = 10;
    p.lineBase = 1;
    p.lineRange = 15;
    const Bytes program = {0x02, 0xb9, 0x04, 0x0b, 0x38, 0x82, 0x73, 0x02, 0x02, 0x00, 0x01, 0x01};
    const std::vector<Row> expected = {
        {0x239, 3, false}, {0x23c, 5, false}, {0x244, 6, false}, {0x24b, 7, false}, {0x24d, 7, true}};
    EXPECT_EQ(rows_of(p, program), expected);
}

TEST(LineProgram, SpecialOpcodeArithmetic) {
    // Mostly the format's example parameters (opcode_base 13, line_base -3,
    // line_range 12: line advances -3..8, address advances 0..20); opcode_base
    // 4 makes the numbers of standard opcodes 4 and up special.
    struct Case {
        uint8_t opcodeBase;
        int8_t lineBase;
        uint8_t lineRange;
        uint8_t minInst;
        uint8_t opcode;
        uint64_t addressAdvance;
        int lineAdvance;
    };
    const Case cases[] = {
        {13, -3, 12, 1, 13, 0, -3},  {13, -3, 12, 1, 17, 0, 1},   {13, -3, 12, 1, 24, 0, 8},
        {13, -3, 12, 1, 25, 1, -3},  {13, -3, 12, 1, 253, 20, -3}, {13, -3, 12, 1, 255, 20, -1},
        {13, -3, 12, 4, 255, 80, -1}, {13, -3, 12, 2, 100, 14, 0},
        {4, -1, 4, 1, 4, 0, -1},     {4, -1, 4, 1, 9, 1, 0},      {4, -1, 4, 1, 12, 2, -1},
        // DW_LNS_const_add_pc: the address advance of opcode 255, no row.
        {13, -3, 12, 1, 8, 20, 0},   {16, -3, 8, 1, 8, 29, 0},
    };
    for (const Case& c : cases) {
        Params p;
        p.opcodeBase = c.opcodeBase;
        p.lineBase = c.lineBase;
        p.lineRange = c.lineRange;
        p.minInst = c.minInst;
        // From line 100 at 0x1000: the opcode, then a copy to see const_add_pc.
        const Bytes program = {0x00, 0x05, 0x02, 0x00, 0x00, 0x10, 0x00, 0x03, 0xe3, 0x00, 0x01, c.opcode, 0x01};
        const std::vector<Row> rows = rows_of(p, program);
        const bool constAddPc = c.opcode == 8 && c.opcodeBase > 8;
        ASSERT_EQ(rows.size(), constAddPc ? 2u : 3u) << int{c.opcode};
        EXPECT_EQ(rows[1].address - rows[0].address, c.addressAdvance) << int{c.opcode};
        EXPECT_EQ(static_cast<int>(rows[1].line) - 100, c.lineAdvance) << int{c.opcode};
    }
}

TEST(LineProgram, OperationIndexOfVliwBundles) {
    // Three operations per 8-byte bundle: the address moves by whole bundles.
    Params p;
    p.minInst = 8;
    p.maxOps = 3;
    const Bytes program = {
        0x02, 0x04, 0x01,  // 4 operations: bundle 1, op_index 1
        0x02, 0x02, 0x01,  // op_index 3: bundle 2, op_index 0
        0x02, 0x05, 0x01,  // bundle 3, op_index 2
        0x02, 0x01, 0x01,  // bundle 4, op_index 0
        0x00, 0x01, 0x01,
    };
    const std::vector<Row> expected = {{8, 1, false}, {16, 1, false}, {24, 1, false}, {32, 1, false}, {32, 1, true}};
    EXPECT_EQ(rows_of(p, program), expected);
}

TEST(LineProgram, LinesAndAddressesWrapAtTheirWidth) {
    Params p;
    const Bytes program = {
        0x03, 0x7d, 0x01,                          // line 1 - 3 wraps to 0xfffffffe
        0x03, 0x03, 0x01,                          // and back to 1
        0x03, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f, 0x01,  // - 2^63
        0x00, 0x05, 0x02, 0xff, 0xff, 0xff, 0xfe,  // address 0xfffffffe
        0x02, 0x02, 0x01,                          // + 4 wraps to 2 in a 32-bit space
        0x00, 0x00,                                // an empty extended opcode does nothing
        0x00, 0x09, 0x02, 0, 0, 0, 1, 0, 0, 0, 0x10, 0x01,  // an 8-byte 0x100000010 is 0x10
        0x00, 0x01, 0x01,
    };
    const std::vector<Row> expected = {
        {0, 0xfffffffe, false}, {0, 1, false}, {0, 1, false}, {2, 1, false}, {0x10, 1, false}, {0x10, 1, true}};
    EXPECT_EQ(rows_of(p, program), expected);
}

TEST(LineProgram, EachUnitEndsAtItsLength) {
    // Two units back to back: the first one's rows stop at its end, and the
    // second is read from its own offset.
    Params p;
    Sections s;
    s.line = unit(ByteOrder::Little, p, {0, 0}, {0x01});
    const size_t second = s.line.size();
    const Bytes next = unit(ByteOrder::Little, p, {0, 0}, {0x03, 0x04, 0x01, 0x01});
    s.line.insert(s.line.end(), next.begin(), next.end());
    const DwarfSections d = s.get(ByteOrder::Little);
    EXPECT_EQ(decode_line_table(d, 0, 4).rows.size(), 1u);
    const LineTable t = decode_line_table(d, second, 4);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1].line, 5u);
}

// --- Sequences ------------------------------------------------------------

// Keeps what a sink is told, checking that each sequence comes after its rows.
struct SequenceSink final : LineRowSink {
    uint64_t rowCount = 0;
    std::vector<uint64_t> addresses;
    std::vector<LineSequence> told;
    void begin(const LineTable&, size_t) override {}
    void rows(const LineRow* rows, size_t count) override {
        for (size_t k = 0; k < count; ++k) addresses.push_back(rows[k].address);
        rowCount += count;
    }
    void sequences(const LineSequence* s, size_t count) override {
        for (size_t k = 0; k < count; ++k) {
            EXPECT_LE(s[k].lastRow, rowCount) << "told before its rows";
            told.push_back(s[k]);
        }
    }
};

}  // namespace

// Found by the look-up of the vectors' comparison, so beside LineSequence.
namespace dravont {
bool operator==(const LineSequence& a, const LineSequence& b) {
    return a.start == b.start && a.end == b.end && a.firstRow == b.firstRow && a.lastRow == b.lastRow &&
           a.ended == b.ended;
}
std::ostream& operator<<(std::ostream& os, const LineSequence& q) {
    return os << std::hex << "0x" << q.start << "-0x" << q.end << std::dec << " rows " << q.firstRow << "-"
              << q.lastRow << (q.ended ? "" : " unterminated");
}
}  // namespace dravont

namespace {

TEST(LineProgram, SequencesWithAndWithoutSink) {
    Params p;
    // Long sequences cross the batches a sink takes rows in.
    auto copies = [&](uint64_t address, size_t count, bool end) {
        Emitter e(ByteOrder::Big);
        set_address(e, p, address);
        for (size_t k = 0; k < count; ++k) e.u8(1).u8(2).uleb(1);  // copy, advance 2
        if (end) end_sequence(e);
        return e.bytes;
    };
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& b : parts) all.insert(all.end(), b.begin(), b.end());
        return all;
    };
    struct Case {
        const char* name;
        Bytes program;
        std::vector<LineSequence> expected;
    };
    const Case cases[] = {
        {"version program", version_program(ByteOrder::Big, p), {{0x1000, 0x1040, 0, 6, true}, {0x2000, 0x2002, 6, 8, true}}},
        {"no rows", {}, {}},
        {"end only", {0x00, 0x01, 0x01}, {{0, 0, 0, 1, true}}},
        {"across batches",
         join({copies(0x4000, 600, true), copies(0x100, 255, true), copies(0x8000, 2, false)}),
         {{0x4000, 0x44b0, 0, 601, true}, {0x100, 0x2fe, 601, 857, true}, {0x8000, 0x8002, 857, 859, false}}},
        {"unterminated after a batch", copies(0x10, 256, false), {{0x10, 0x20e, 0, 256, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sections s;
        s.line = unit(ByteOrder::Big, p, v4_tables(ByteOrder::Big), c.program);
        const LineTable t = decode_line_table(s.get(ByteOrder::Big), 0, 4);
        EXPECT_EQ(t.sequences, c.expected);
        for (const LineSequence& q : t.sequences) {
            ASSERT_LE(q.lastRow, t.rows.size());
            EXPECT_EQ(t.rows[q.firstRow].address, q.start);
            EXPECT_EQ(t.rows[q.lastRow - 1].endSequence, q.ended);
        }
        SequenceSink sink;
        LineTable streamed;
        decode_line_table(s.get(ByteOrder::Big), 0, 4, streamed, &sink);
        EXPECT_TRUE(streamed.rows.empty());
        EXPECT_EQ(streamed.sequences, c.expected);
        EXPECT_EQ(sink.told, c.expected);
        EXPECT_EQ(sink.rowCount, t.rows.size());
    }
}

// --- Malformed units --------------------------------------------------------

Bytes v4_unit(const Bytes& program, Params p = {}) { return unit(ByteOrder::Big, p, {0, 0}, program); }

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}

Bytes v5_unit(const Bytes& tables, Params p = {}) {
    p.version = 5;
    return unit(ByteOrder::Big, p, tables, {});
}

struct Malformed {
    const char* name;
    Bytes line;
    const char* reason;  // part of the message
    uint64_t offset = 0;
    uint8_t addressSize = 4;
};

std::vector<Malformed> malformed_cases() {
    std::vector<Malformed> cases;
    cases.push_back({"section shorter than unit_length", {0, 0, 0}, "data"});
    cases.push_back({"offset past the section", v4_unit({}), "position", 40});

    Bytes b = v4_unit({0x01});
    put32(b, 0, static_cast<uint32_t>(b.size() - 3));
    cases.push_back({"unit_length past the section", b, "unit_length"});
    cases.push_back({"64-bit DWARF", {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0x20, 0, 4}, "64-bit"});
    cases.push_back({"reserved unit_length", {0xff, 0xff, 0xff, 0xf0, 0, 4}, "reserved"});

    b = v4_unit({});
    put32(b, 0, 8);  // version, header_length and two header bytes
    put32(b, 6, 2);
    cases.push_back({"truncated header", b, "data"});
    b = v4_unit({});
    put32(b, 6, static_cast<uint32_t>(b.size() - 9));
    cases.push_back({"header_length past the unit", b, "header_length"});

    for (uint16_t version : {0, 1, 6, 0xffff}) {
        b = v4_unit({});
        b[4] = static_cast<uint8_t>(version >> 8);
        b[5] = static_cast<uint8_t>(version);
        cases.push_back({"bad version", b, "version"});
    }
    Params p;
    p.lineRange = 0;
    cases.push_back({"line_range 0", v4_unit({0x20}, p), "line_range"});
    p = {};
    p.maxOps = 0;
    cases.push_back({"maximum_operations_per_instruction 0", v4_unit({0x20}, p), "maximum_operations"});
    p = {};
    p.opcodeBase = 0;
    cases.push_back({"opcode_base 0", v4_unit({}, p), "opcode_base"});

    cases.push_back({"extended length past the unit", v4_unit({0x01, 0x00, 0x09, 0x01}), "extended opcode length"});
    cases.push_back({"extended length far past the unit", v4_unit({0x00, 0xff, 0xff, 0xff, 0xff, 0x0f, 0x01}),
                     "extended opcode length"});
    cases.push_back({"set_address of 3 bytes", v4_unit({0x00, 0x04, 0x02, 0x10, 0x00, 0x00}), "set_address"});
    cases.push_back({"define_file without NUL", v4_unit({0x00, 0x03, 0x03, 'a', 'b', 0x01}), "unterminated"});
    cases.push_back({"define_file in a missing directory",
                     v4_unit({0x00, 0x06, 0x03, 'a', 0, 0x01, 0, 0}), "directory index"});
    cases.push_back({"LEB128 too long",
                     v4_unit({0x02, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}), "LEB128"});
    cases.push_back({"set_file past 32 bits", v4_unit({0x04, 0x80, 0x80, 0x80, 0x80, 0x10}), "file index"});

    // Operands of the opcodes read straight from the program, cut at its end.
    for (uint8_t op : {2, 3, 4, 5}) {
        cases.push_back({"operand missing at the end", v4_unit({0x01, op}), "data"});
        cases.push_back({"LEB128 operand cut at the end", v4_unit({0x01, op, 0x80}), "data"});
    }

    // An operand that would run on into the next unit.
    b = v4_unit({0x02});
    const Bytes next = v4_unit({0x01});
    b.insert(b.end(), next.begin(), next.end());
    cases.push_back({"operand across the unit end", b, "data"});

    cases.push_back({"include directory without NUL", unit(ByteOrder::Big, {}, {'a', 'b', 'c'}, {}), "unterminated"});
    cases.push_back({"file in a missing directory", unit(ByteOrder::Big, {}, {0, 'a', 0, 2, 0, 0, 0}, {}),
                     "directory index"});

    cases.push_back({"v5 entry format with an unknown form", v5_unit({1, 1, 0x99, 1, 'a', 0, 0, 0}), "unknown form"});
    cases.push_back({"v5 entry format with implicit_const", v5_unit({1, 1, 0x21, 1, 0, 0, 0}), "unknown form"});
    cases.push_back({"v5 directory_entry_format_count 200", v5_unit({200, 1}), "entry format count"});
    cases.push_back({"v5 directories_count past the header",
                     v5_unit({1, 1, 0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f, 'a', 0}),
                     "entry count"});
    cases.push_back({"v5 entries without a path", v5_unit({1, 2, 0x0b, 1, 0, 0, 0}), "without a path"});
    cases.push_back({"v5 path of a numeric form", v5_unit({1, 1, 0x0b, 1, 7, 0, 0}), "form of a line table path"});
    cases.push_back({"v5 line_strp past .debug_line_str", v5_unit({1, 1, 0x1f, 1, 0, 0, 0, 9, 0, 0}),
                     ".debug_line_str"});
    cases.push_back({"v5 file in a missing directory",
                     v5_unit({1, 1, 0x08, 1, 'd', 0, 2, 1, 0x08, 2, 0x0b, 1, 'f', 0, 1}), "directory index"});
    cases.push_back({"v5 address_size unlike the unit's", v5_unit({0, 0, 0, 0}), "address_size", 0, 2});
    p = {};
    p.addressSize = 3;
    cases.push_back({"v5 address_size 3", v5_unit({0, 0, 0, 0}, p), "address_size", 0, 0});
    return cases;
}

TEST(LineProgram, MalformedUnitsAreRefused) {
    for (const Malformed& c : malformed_cases()) {
        Sections s;
        s.line = c.line;
        s.lineStr = {0, 'x', 0};
        try {
            decode_line_table(s.get(ByteOrder::Big), c.offset, c.addressSize);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const MalformedInput& e) {
            EXPECT_NE(e.record().find(c.reason), std::string::npos) << c.name << ": " << e.record();
        }
    }
}

TEST(LineProgram, AbsentSectionIsMalformed) {
    EXPECT_THROW(decode_line_table(DwarfSections{}, 0, 4), MalformedInput);
}

// --- Paths -----------------------------------------------------------------

TEST(LineProgram, FilePaths) {
    LineTable v4;
    v4.version = 4;
    v4.directories = {"", "lib", "/abs", "C:\\win", "out/"};
    v4.files = {{"", 0},         {"a.c", 0},    {"b.c", 1},    {"c.c", 2},
                {"/x/d.c", 1},   {"e.c", 3},    {"D:\\f.c", 1}, {"\\g.c", 1}, {"h.c", 4}};
    LineTable v5;
    v5.version = 5;
    v5.directories = {"/cu", "sub"};
    v5.files = {{"m.c", 0}, {"s.c", 1}};
    struct Case {
        const LineTable* table;
        uint32_t file;
        const char* compDir;
        const char* path;
    };
    const Case cases[] = {
        {&v4, 1, "/work", "/work/a.c"},     {&v4, 1, "/work/", "/work/a.c"},   {&v4, 1, "", "a.c"},
        {&v4, 2, "/work", "/work/lib/b.c"}, {&v4, 2, "", "lib/b.c"},           {&v4, 3, "/work", "/abs/c.c"},
        {&v4, 4, "/work", "/x/d.c"},        {&v4, 5, "/work", "C:\\win/e.c"},  {&v4, 6, "/work", "D:\\f.c"},
        {&v4, 7, "/work", "\\g.c"},         {&v4, 8, "/w", "/w/out/h.c"},      {&v4, 0, "/work", ""},
        {&v4, 9, "/work", ""},              {&v5, 0, "/elsewhere", "/cu/m.c"}, {&v5, 1, "/cu", "/cu/sub/s.c"},
        {&v5, 2, "/cu", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(line_file_path(*c.table, c.file, c.compDir), c.path) << c.file << " " << c.compDir;
    }
}

}  // namespace
