// The form table: each form's class and size in units of the shapes this
// reader meets (DWARF 2 with 2-byte addresses, DWARF 4 in the 32-bit format,
// DWARF 5 in the 64-bit one), the fewest bytes a line-table entry value
// takes, and the messages of refused forms.
#include "dwarf/forms.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_error.h"
#include "support/dwarf_emitter.h"

using namespace dravont;

namespace {

constexpr int kVar = -1;  // the value gives its size

TEST(FormTable, SizeOfEveryFormInEachUnitShape) {
    const FormSizes v2{2, 4, 2};   // H8 DWARF 2: DW_FORM_ref_addr is address-sized
    const FormSizes v4{4, 4, 4};
    const FormSizes v5wide{8, 8, 8};
    struct Row {
        uint16_t form;
        FormClass cls;
        int v2, v4, v5wide;
        unsigned minSize;  // as a line-table entry value; 0: not allowed there
    };
    using C = FormClass;
    const Row rows[] = {
        {DW_FORM_addr, C::Address, 2, 4, 8, 0},
        {DW_FORM_block2, C::Block, kVar, kVar, kVar, 2},
        {DW_FORM_block4, C::Block, kVar, kVar, kVar, 4},
        {DW_FORM_data2, C::Constant, 2, 2, 2, 2},
        {DW_FORM_data4, C::Constant, 4, 4, 4, 4},
        {DW_FORM_data8, C::Constant, 8, 8, 8, 8},
        {DW_FORM_string, C::String, kVar, kVar, kVar, 1},
        {DW_FORM_block, C::Block, kVar, kVar, kVar, 1},
        {DW_FORM_block1, C::Block, kVar, kVar, kVar, 1},
        {DW_FORM_data1, C::Constant, 1, 1, 1, 1},
        {DW_FORM_flag, C::Flag, 1, 1, 1, 1},
        {DW_FORM_sdata, C::Signed, kVar, kVar, kVar, 1},
        {DW_FORM_strp, C::StrOffset, 4, 4, 8, 4},
        {DW_FORM_udata, C::Constant, kVar, kVar, kVar, 1},
        {DW_FORM_ref_addr, C::Reference, 2, 4, 8, 0},
        {DW_FORM_ref1, C::Reference, 1, 1, 1, 0},
        {DW_FORM_ref2, C::Reference, 2, 2, 2, 0},
        {DW_FORM_ref4, C::Reference, 4, 4, 4, 0},
        {DW_FORM_ref8, C::Reference, 8, 8, 8, 0},
        {DW_FORM_ref_udata, C::Reference, kVar, kVar, kVar, 0},
        {DW_FORM_indirect, C::None, kVar, kVar, kVar, 0},
        {DW_FORM_sec_offset, C::SecOffset, 4, 4, 8, 4},
        {DW_FORM_exprloc, C::Block, kVar, kVar, kVar, 0},
        {DW_FORM_flag_present, C::Flag, 0, 0, 0, 0},
        {DW_FORM_strx, C::StrIndex, kVar, kVar, kVar, 1},
        {DW_FORM_addrx, C::AddressIndex, kVar, kVar, kVar, 0},
        {DW_FORM_ref_sup4, C::None, kVar, kVar, kVar, 0},
        {DW_FORM_strp_sup, C::None, kVar, kVar, kVar, 0},
        {DW_FORM_data16, C::Block, 16, 16, 16, 16},
        {DW_FORM_line_strp, C::LineStrOffset, 4, 4, 8, 4},
        {DW_FORM_ref_sig8, C::Signature, 8, 8, 8, 0},
        {DW_FORM_implicit_const, C::Signed, 0, 0, 0, 0},
        {DW_FORM_loclistx, C::ListIndex, kVar, kVar, kVar, 0},
        {DW_FORM_rnglistx, C::ListIndex, kVar, kVar, kVar, 0},
        {DW_FORM_ref_sup8, C::None, kVar, kVar, kVar, 0},
        {DW_FORM_strx1, C::StrIndex, 1, 1, 1, 1},
        {DW_FORM_strx2, C::StrIndex, 2, 2, 2, 2},
        {DW_FORM_strx3, C::StrIndex, 3, 3, 3, 3},
        {DW_FORM_strx4, C::StrIndex, 4, 4, 4, 4},
        {DW_FORM_addrx1, C::AddressIndex, 1, 1, 1, 0},
        {DW_FORM_addrx2, C::AddressIndex, 2, 2, 2, 0},
        {DW_FORM_addrx3, C::AddressIndex, 3, 3, 3, 0},
        {DW_FORM_addrx4, C::AddressIndex, 4, 4, 4, 0},
        {0x02, C::None, kVar, kVar, kVar, 0},    // no form has that code
        {0x1f01, C::None, kVar, kVar, kVar, 0},  // DW_FORM_GNU_addr_index
        {0x1f21, C::None, kVar, kVar, kVar, 0},  // DW_FORM_GNU_strp_alt
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("form " + hex_text(r.form));
        const FormInfo& f = form_info(r.form);
        EXPECT_EQ(f.cls, r.cls);
        EXPECT_EQ(form_fixed_size(f, v2), r.v2);
        EXPECT_EQ(form_fixed_size(f, v4), r.v4);
        EXPECT_EQ(form_fixed_size(f, v5wide), r.v5wide);
        EXPECT_EQ(f.inEntryFormats ? form_min_size(f, v4) : 0u, r.minSize);
        EXPECT_EQ(f.unitRelative, r.form >= DW_FORM_ref1 && r.form <= DW_FORM_ref_udata);
        EXPECT_EQ(f.size == FormSize::Refused, r.cls == C::None && r.form != DW_FORM_indirect);
    }
}

TEST(FormTable, RefusedFormsSayWhy) {
    const struct {
        uint16_t form;
        const char* record;
    } cases[] = {
        {0x02, "s, unknown attribute form 0x2"},
        {0x99, "s, unknown attribute form 0x99"},
        {DW_FORM_ref_sup4, "s, reference into a supplementary file (form 0x1c)"},
        {0x1f20, "s, reference into a supplementary file (form 0x1f20)"},
        {0x1f02, "s, split-DWARF form 0x1f02"},
    };
    const dwarf_test::Bytes bytes(8, 0);
    const ByteSpan span = dwarf_test::span_of(bytes, "s", 0x1000);
    for (const auto& c : cases) {
        ByteReader r(span, ByteOrder::Big, 3);
        try {
            refuse_form(r, c.form, form_info(c.form).refusal);
            ADD_FAILURE() << "no failure for form " << c.form;
        } catch (const MalformedInput& e) {
            EXPECT_EQ(e.record(), c.record);
            EXPECT_EQ(e.offset(), 0x403u);
        }
    }
}

}  // namespace
