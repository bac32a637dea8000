// DIEs decoded by their abbreviation's plan, on hand-assembled units in both
// byte orders: every kind of plan step gives the value read_form gives, and a
// unit cut anywhere inside the DIE fails the same way whether the DIE is read
// or stepped over, never reading past the data.
#include "dwarf/debug_info.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/run_error.h"
#include "dwarf/dwarf_constants.h"
#include "support/dwarf_emitter.h"

using namespace dravont;

namespace {

using dwarf_test::Bytes;

// Attributes the reader steps over.
constexpr uint16_t kAtSibling = 0x01, kAtConstValue = 0x1c, kAtProducer = 0x25, kAtDeclColumn = 0x39,
                   kAtDeclLine = 0x3b, kAtFrameBase = 0x40;

using dwarf_test::Emitter;

struct Attr {
    uint16_t name, form;
    int64_t implicitConst = 0;
};

// One DIE: its attributes, their values, and what the read must give.
struct DieCase {
    const char* name;
    std::vector<Attr> attrs;
    std::function<void(Emitter&)> values;
    std::function<void(const DwarfUnit&, const DieInfo&)> check;
};

constexpr uint64_t kUnitOffset = 0;  // the unit starts the section
constexpr uint64_t kFirstDie = 12;   // after a version 5 compile unit header

std::vector<DieCase> die_cases() {
    return {
        {"strp name, implicit_const file, flag_present, skipped data2",
         {{DW_AT_name, DW_FORM_strp}, {DW_AT_decl_file, DW_FORM_implicit_const, 3}, {kAtDeclLine, DW_FORM_data2},
          {DW_AT_external, DW_FORM_flag_present}},
         [](Emitter& e) { e.fixed(1, 4).fixed(0x1234, 2); },
         [](const DwarfUnit& u, const DieInfo& d) {
             EXPECT_EQ(u.string(d.name), "name");
             EXPECT_TRUE(d.hasDeclFile);
             EXPECT_EQ(d.declFile, 3u);
             EXPECT_TRUE(d.external);
         }},
        {"inline name, ref4 type, skipped string and sdata",
         {{kAtProducer, DW_FORM_string}, {DW_AT_name, DW_FORM_string}, {kAtDeclColumn, DW_FORM_sdata},
          {DW_AT_type, DW_FORM_ref4}},
         [](Emitter& e) { e.str("cc").str("abc").sleb(-300).fixed(0x20, 4); },
         [](const DwarfUnit& u, const DieInfo& d) {
             EXPECT_EQ(u.string(d.name), "abc");
             EXPECT_EQ(d.type, kUnitOffset + 0x20);
         }},
        {"addr low_pc, data4 high_pc, exprloc location, long udata byte_size",
         {{DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}, {DW_AT_location, DW_FORM_exprloc},
          {DW_AT_byte_size, DW_FORM_udata}},
         [](Emitter& e) { e.fixed(0x12345678, 4).fixed(0x40, 4).uleb(3).u8(0x91).u8(0x7c).u8(0x06).uleb(300); },
         [](const DwarfUnit&, const DieInfo& d) {
             EXPECT_EQ(d.lowPc.kind, AddrAttr::Address);
             EXPECT_EQ(d.lowPc.value, 0x12345678u);
             EXPECT_EQ(d.highPc.kind, AddrAttr::Constant);
             EXPECT_EQ(d.highPc.value, 0x40u);
             ASSERT_TRUE(d.hasLocation);
             ASSERT_EQ(d.locationSize, 3u);
             EXPECT_EQ(d.location[1], 0x7c);
             EXPECT_TRUE(d.hasByteSize);
             EXPECT_EQ(d.byteSize, 300u);
         }},
        {"sdata decl_file, skipped blocks, data16 and long LEB128",
         {{kAtConstValue, DW_FORM_block1}, {DW_AT_decl_file, DW_FORM_sdata}, {kAtFrameBase, DW_FORM_block},
          {kAtConstValue, DW_FORM_data16}, {kAtDeclLine, DW_FORM_udata}, {kAtConstValue, DW_FORM_block2},
          {DW_AT_encoding, DW_FORM_data1}},
         [](Emitter& e) {
             e.u8(2).u8(1).u8(2).sleb(-2).uleb(1).u8(0x9c);
             for (int k = 0; k < 16; ++k) e.u8(k);
             e.uleb(uint64_t{1} << 40).fixed(1, 2).u8(0).u8(7);
         },
         [](const DwarfUnit&, const DieInfo& d) {
             EXPECT_TRUE(d.hasDeclFile);
             EXPECT_EQ(d.declFile, static_cast<uint64_t>(-2));
             EXPECT_EQ(d.encoding, 7);
         }},
        {"flags, ref2 origin, ref_udata specification, ref_sig8 type",
         {{DW_AT_external, DW_FORM_flag}, {DW_AT_declaration, DW_FORM_flag}, {DW_AT_abstract_origin, DW_FORM_ref2},
          {DW_AT_specification, DW_FORM_ref_udata}, {DW_AT_type, DW_FORM_ref_sig8}, {kAtSibling, DW_FORM_ref4}},
         [](Emitter& e) { e.u8(0).u8(1).fixed(0x30, 2).uleb(0x1234).fixed(0x1122334455667788, 8).fixed(0x50, 4); },
         [](const DwarfUnit&, const DieInfo& d) {
             EXPECT_FALSE(d.external);
             EXPECT_TRUE(d.declaration);
             EXPECT_EQ(d.abstractOrigin, kUnitOffset + 0x30);
             EXPECT_EQ(d.specification, kUnitOffset + 0x1234);
             EXPECT_EQ(d.type, 0u);
             EXPECT_TRUE(d.typeBySignature);
             EXPECT_EQ(d.typeSignature, 0x1122334455667788u);
         }},
        {"rnglistx ranges, strx1 linkage name, addrx3 entry_pc",
         {{DW_AT_ranges, DW_FORM_rnglistx}, {DW_AT_linkage_name, DW_FORM_strx1}, {DW_AT_entry_pc, DW_FORM_addrx3}},
         [](Emitter& e) { e.uleb(2).u8(5).fixed(0x010203, 3); },
         [](const DwarfUnit&, const DieInfo& d) {
             EXPECT_EQ(d.rangesKind, DieInfo::RangesIndex);
             EXPECT_EQ(d.ranges, 2u);
             EXPECT_EQ(d.linkageName.kind, StrAttr::Index);
             EXPECT_EQ(d.linkageName.value, 5u);
             EXPECT_EQ(d.entryPc.kind, AddrAttr::Index);
             EXPECT_EQ(d.entryPc.value, 0x010203u);
         }},
        {"DW_FORM_indirect name",
         {{DW_AT_name, DW_FORM_indirect}, {DW_AT_external, DW_FORM_flag_present}},
         [](Emitter& e) { e.uleb(DW_FORM_strp).fixed(1, 4); },
         [](const DwarfUnit& u, const DieInfo& d) {
             EXPECT_EQ(u.string(d.name), "name");
             EXPECT_TRUE(d.external);
         }},
        // A constant kept ahead of the data must not outlive a later value
        // of the same field, nor hide an earlier one it follows.
        {"implicit_const then data1 for one field",
         {{DW_AT_decl_file, DW_FORM_implicit_const, 3}, {DW_AT_decl_file, DW_FORM_data1}},
         [](Emitter& e) { e.u8(5); },
         [](const DwarfUnit&, const DieInfo& d) { EXPECT_EQ(d.declFile, 5u); }},
        {"data1 then implicit_const for one field",
         {{DW_AT_decl_file, DW_FORM_data1}, {DW_AT_decl_file, DW_FORM_implicit_const, 3}},
         [](Emitter& e) { e.u8(5); },
         [](const DwarfUnit&, const DieInfo& d) { EXPECT_EQ(d.declFile, 3u); }},
    };
}

ByteSpan span_of(const Bytes& b, const char* name) { return dwarf_test::span_of(b, name, 0x100000); }

// The abbreviation table of one DIE (code 1, a variable without children).
Bytes abbrev_table(const DieCase& c) {
    Emitter e(ByteOrder::Little);
    e.uleb(1).uleb(DW_TAG_variable).u8(0);
    for (const Attr& a : c.attrs) {
        e.uleb(a.name).uleb(a.form);
        if (a.form == DW_FORM_implicit_const) e.sleb(a.implicitConst);
    }
    e.uleb(0).uleb(0).uleb(0);
    return e.bytes;
}

// A version 5 compile unit holding the DIE's first `dieBytes` bytes, its
// length ending it there.
Bytes info_unit(ByteOrder o, const Bytes& die, size_t dieBytes) {
    Emitter e(o);
    e.fixed(kFirstDie - 4 + dieBytes, 4).fixed(5, 2).u8(DW_UT_compile).u8(4).fixed(0, 4);
    e.bytes.insert(e.bytes.end(), die.begin(), die.begin() + static_cast<long>(dieBytes));
    return e.bytes;
}

struct Outcome {
    bool failed = false;
    std::string record;
    uint64_t offset = 0;
    uint64_t next = 0;
};

template <class Read>
Outcome attempt(Read read) {
    Outcome o;
    try {
        o.next = read();
    } catch (const MalformedInput& e) {
        o.failed = true;
        o.record = e.record();
        o.offset = e.offset();
    }
    return o;
}

TEST(DieReader, PlanStepsDecodeEveryFormInBothByteOrders) {
    const Bytes str = {0, 'n', 'a', 'm', 'e', 0};
    for (const DieCase& c : die_cases()) {
        for (ByteOrder o : {ByteOrder::Big, ByteOrder::Little}) {
            SCOPED_TRACE(std::string(c.name) + (o == ByteOrder::Big ? ", big-endian" : ", little-endian"));
            Emitter die(o);
            die.uleb(1);
            c.values(die);
            const Bytes abbrev = abbrev_table(c);
            const Bytes info = info_unit(o, die.bytes, die.bytes.size());
            DwarfSections s;
            s.order = o;
            s.info = span_of(info, "section .debug_info");
            s.abbrev = span_of(abbrev, "section .debug_abbrev");
            s.str = span_of(str, "section .debug_str");
            AbbrevCache abbrevs(s);
            const DwarfUnit unit(s, decode_unit_header(s, 0), abbrevs);
            const DieInfo d = unit.read_die(kFirstDie);
            EXPECT_EQ(d.tag, DW_TAG_variable);
            EXPECT_EQ(d.next, info.size());
            EXPECT_EQ(unit.skip_die(unit.read_head(kFirstDie)), info.size());
            c.check(unit, d);
        }
    }
}

TEST(DieReader, UnitCutInsideTheDieFailsAlikeWhenReadOrSteppedOver) {
    for (const DieCase& c : die_cases()) {
        for (ByteOrder o : {ByteOrder::Big, ByteOrder::Little}) {
            Emitter die(o);
            die.uleb(1);
            c.values(die);
            const Bytes abbrev = abbrev_table(c);
            for (size_t kept = 1; kept < die.bytes.size(); ++kept) {
                SCOPED_TRACE(std::string(c.name) + ", cut after " + std::to_string(kept) + " bytes");
                const Bytes info = info_unit(o, die.bytes, kept);
                DwarfSections s;
                s.order = o;
                s.info = span_of(info, "section .debug_info");
                s.abbrev = span_of(abbrev, "section .debug_abbrev");
                AbbrevCache abbrevs(s);
                const DwarfUnit unit(s, decode_unit_header(s, 0), abbrevs);
                const Outcome read = attempt([&] { return unit.read_die(kFirstDie).next; });
                const Outcome skipped = attempt([&] { return unit.skip_die(unit.read_head(kFirstDie)); });
                ASSERT_TRUE(read.failed);
                ASSERT_TRUE(skipped.failed);
                EXPECT_EQ(read.record, skipped.record);
                EXPECT_EQ(read.offset, skipped.offset);
                EXPECT_EQ(read.record.rfind("section .debug_info", 0), 0u) << read.record;
                EXPECT_GE(read.offset, 0x400 + kFirstDie);
                EXPECT_LE(read.offset, 0x400 + info.size());
            }
        }
    }
}

}  // namespace
