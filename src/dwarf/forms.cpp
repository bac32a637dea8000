// The form table: one row per DW_FORM_* code of DWARF 2 to 5 and of the GNU
// extensions met in practice.
#include "dwarf/forms.h"

#include <array>
#include <string>

#include "common/run_error.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

namespace {

// Forms of the split and supplementary-file extensions: their values point
// into other files, which this reader does not have.
constexpr uint16_t kGnuAddrIndex = 0x1f01;
constexpr uint16_t kGnuStrIndex = 0x1f02;
constexpr uint16_t kGnuRefAlt = 0x1f20;
constexpr uint16_t kGnuStrpAlt = 0x1f21;

constexpr uint16_t kLastStandardForm = DW_FORM_addrx4;

using S = FormSize;
using C = FormClass;

constexpr FormInfo form(S size, uint8_t bytes, C cls, bool entry = false) {
    return FormInfo{size, bytes, cls, false, entry, FormRefusal::None};
}
constexpr FormInfo reference(S size, uint8_t bytes) {
    return FormInfo{size, bytes, C::Reference, true, false, FormRefusal::None};
}
constexpr FormInfo refused(FormRefusal why) { return FormInfo{S::Refused, 0, C::None, false, false, why}; }

constexpr bool kEntry = true;  // allowed in line table entry formats

struct FormTable {
    std::array<FormInfo, kLastStandardForm + 1> rows{};  // codes without a row stay refused as unknown
    constexpr FormTable() {
        rows[DW_FORM_addr] = form(S::Address, 0, C::Address);
        rows[DW_FORM_block2] = form(S::Block2, 0, C::Block, kEntry);
        rows[DW_FORM_block4] = form(S::Block4, 0, C::Block, kEntry);
        rows[DW_FORM_data2] = form(S::Fixed, 2, C::Constant, kEntry);
        rows[DW_FORM_data4] = form(S::Fixed, 4, C::Constant, kEntry);
        rows[DW_FORM_data8] = form(S::Fixed, 8, C::Constant, kEntry);
        rows[DW_FORM_string] = form(S::String, 0, C::String, kEntry);
        rows[DW_FORM_block] = form(S::BlockUleb, 0, C::Block, kEntry);
        rows[DW_FORM_block1] = form(S::Block1, 0, C::Block, kEntry);
        rows[DW_FORM_data1] = form(S::Fixed, 1, C::Constant, kEntry);
        rows[DW_FORM_flag] = form(S::Fixed, 1, C::Flag, kEntry);
        rows[DW_FORM_sdata] = form(S::Sleb, 0, C::Signed, kEntry);
        rows[DW_FORM_strp] = form(S::Offset, 0, C::StrOffset, kEntry);
        rows[DW_FORM_udata] = form(S::Uleb, 0, C::Constant, kEntry);
        rows[DW_FORM_ref_addr] = form(S::RefAddr, 0, C::Reference);
        rows[DW_FORM_ref1] = reference(S::Fixed, 1);
        rows[DW_FORM_ref2] = reference(S::Fixed, 2);
        rows[DW_FORM_ref4] = reference(S::Fixed, 4);
        rows[DW_FORM_ref8] = reference(S::Fixed, 8);
        rows[DW_FORM_ref_udata] = reference(S::Uleb, 0);
        rows[DW_FORM_indirect] = form(S::Indirect, 0, C::None);
        rows[DW_FORM_sec_offset] = form(S::Offset, 0, C::SecOffset, kEntry);
        rows[DW_FORM_exprloc] = form(S::BlockUleb, 0, C::Block);
        rows[DW_FORM_flag_present] = form(S::Implicit, 0, C::Flag);
        rows[DW_FORM_strx] = form(S::Uleb, 0, C::StrIndex, kEntry);
        rows[DW_FORM_addrx] = form(S::Uleb, 0, C::AddressIndex);
        rows[DW_FORM_ref_sup4] = refused(FormRefusal::Supplementary);
        rows[DW_FORM_strp_sup] = refused(FormRefusal::Supplementary);
        rows[DW_FORM_data16] = form(S::Fixed, 16, C::Block, kEntry);
        rows[DW_FORM_line_strp] = form(S::Offset, 0, C::LineStrOffset, kEntry);
        rows[DW_FORM_ref_sig8] = form(S::Fixed, 8, C::Signature);
        rows[DW_FORM_implicit_const] = form(S::Implicit, 0, C::Signed);
        rows[DW_FORM_loclistx] = form(S::Uleb, 0, C::ListIndex);
        rows[DW_FORM_rnglistx] = form(S::Uleb, 0, C::ListIndex);
        rows[DW_FORM_ref_sup8] = refused(FormRefusal::Supplementary);
        rows[DW_FORM_strx1] = form(S::Fixed, 1, C::StrIndex, kEntry);
        rows[DW_FORM_strx2] = form(S::Fixed, 2, C::StrIndex, kEntry);
        rows[DW_FORM_strx3] = form(S::Fixed, 3, C::StrIndex, kEntry);
        rows[DW_FORM_strx4] = form(S::Fixed, 4, C::StrIndex, kEntry);
        rows[DW_FORM_addrx1] = form(S::Fixed, 1, C::AddressIndex);
        rows[DW_FORM_addrx2] = form(S::Fixed, 2, C::AddressIndex);
        rows[DW_FORM_addrx3] = form(S::Fixed, 3, C::AddressIndex);
        rows[DW_FORM_addrx4] = form(S::Fixed, 4, C::AddressIndex);
    }
};
constexpr FormTable kForms;
constexpr FormInfo kUnknown = refused(FormRefusal::Unknown);
constexpr FormInfo kSupplementary = refused(FormRefusal::Supplementary);
constexpr FormInfo kSplit = refused(FormRefusal::Split);

}  // namespace

const FormInfo& form_info(uint16_t form) {
    if (form <= kLastStandardForm) return kForms.rows[form];
    switch (form) {
        case kGnuRefAlt: case kGnuStrpAlt: return kSupplementary;
        case kGnuAddrIndex: case kGnuStrIndex: return kSplit;
        default: return kUnknown;
    }
}

int form_fixed_size(const FormInfo& info, const FormSizes& sizes) {
    switch (info.size) {
        case S::Fixed: return info.bytes;
        case S::Implicit: return 0;
        case S::Address: return sizes.addressSize;
        case S::Offset: return sizes.offsetSize;
        case S::RefAddr: return sizes.refAddrSize;
        default: return -1;
    }
}

unsigned form_min_size(const FormInfo& info, const FormSizes& sizes) {
    switch (info.size) {
        case S::Block2: return 2;
        case S::Block4: return 4;
        case S::Uleb: case S::Sleb: case S::String: case S::Block1: case S::BlockUleb: return 1;
        case S::Indirect: case S::Refused: return 0;
        default: return static_cast<unsigned>(form_fixed_size(info, sizes));
    }
}

void refuse_form(const ByteReader& r, uint16_t form, FormRefusal refusal) {
    switch (refusal) {
        case FormRefusal::Supplementary:
            r.fail("reference into a supplementary file (form " + hex_text(form) + ")", r.position());
        case FormRefusal::Split: r.fail("split-DWARF form " + hex_text(form), r.position());
        default: r.fail("unknown attribute form " + hex_text(form), r.position());
    }
}

uint64_t read_u24(ByteReader& r) {
    const uint64_t b0 = r.u8(), b1 = r.u8(), b2 = r.u8();
    return r.order() == ByteOrder::Big ? (b0 << 16 | b1 << 8 | b2) : (b2 << 16 | b1 << 8 | b0);
}

}  // namespace dravont
