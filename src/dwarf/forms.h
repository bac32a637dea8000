// The attribute forms (DW_FORM_*): for each, the class of its values and
// how many bytes a value takes, or how to find that out. The abbreviation
// plans, the value-by-value reader and skipper of DIEs, and the entry
// formats of version 5 line tables all take their knowledge of forms from
// this one table.
#pragma once

#include <cstdint>

#include "common/byte_reader.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

// How many bytes a value of a form takes.
enum class FormSize : uint8_t {
    Fixed,      // FormInfo::bytes, 0 included
    Implicit,   // none: DW_FORM_flag_present is 1, DW_FORM_implicit_const holds its value
                // in the abbreviation
    Address,    // the unit's address size
    Offset,     // the offset size: 4 in the 32-bit format, 8 in the 64-bit one
    RefAddr,    // DW_FORM_ref_addr: the address size in DWARF 2, the offset size later
    Uleb, Sleb, // LEB128
    String,     // up to and including a NUL byte
    Block1, Block2, Block4, BlockUleb,  // a length of 1, 2 or 4 bytes or a ULEB128, then that many bytes
    Indirect,   // DW_FORM_indirect: a ULEB128 form code, then a value of that form
    Refused,    // a form this reader does not take (see FormInfo::refusal)
};

// What a value of a form means.
enum class FormClass : uint8_t {
    Constant, Signed, Address, AddressIndex, Block, Flag, String, StrOffset, LineStrOffset, StrIndex,
    Reference, SecOffset, ListIndex, Signature, None,
};

// Why a form is refused.
enum class FormRefusal : uint8_t {
    None,
    Unknown,        // no form of that code
    Supplementary,  // the value points into a supplementary object file
    Split,          // the value points into a split DWARF file (pre-standard GNU forms)
};

struct FormInfo {
    FormSize size = FormSize::Refused;
    uint8_t bytes = 0;  // FormSize::Fixed
    FormClass cls = FormClass::None;
    bool unitRelative = false;   // DW_FORM_ref1 ... ref_udata: an offset from the unit header
    bool inEntryFormats = false; // may describe a field of a line table's directory or file entries
    FormRefusal refusal = FormRefusal::Unknown;
};

// The entry for `form`; a refused one (FormRefusal::Unknown) for a code
// the table does not know.
const FormInfo& form_info(uint16_t form);

// The value of a FormSize::Implicit form: 1 for DW_FORM_flag_present, the
// abbreviation's constant for DW_FORM_implicit_const.
inline int64_t implicit_value(uint16_t form, int64_t implicitConst) {
    return form == DW_FORM_flag_present ? 1 : implicitConst;
}

// The sizes of a unit that size its values.
struct FormSizes {
    uint8_t addressSize = 4;
    uint8_t offsetSize = 4;
    uint8_t refAddrSize = 4;  // the address size in DWARF 2, the offset size later
};

// The offset size of everything this reader decodes: unit headers of the
// 64-bit format are refused, so values of every read unit are 4 bytes.
constexpr uint8_t kOffsetSize = 4;

// The bytes a value of `info` takes in a unit of `sizes`, or -1 when the
// value says (LEB128, strings, blocks, indirect) or the form is refused.
int form_fixed_size(const FormInfo& info, const FormSizes& sizes);

// The fewest bytes a value of `info` takes: a length or LEB128 takes one at
// least, a string its NUL. 0 for Indirect and Refused.
unsigned form_min_size(const FormInfo& info, const FormSizes& sizes);

// Throws MalformedInput for a value of a refused form at the reader's
// position: "unknown attribute form 0x...", "reference into a supplementary
// file (form 0x...)" or "split-DWARF form 0x...".
[[noreturn]] void refuse_form(const ByteReader& r, uint16_t form, FormRefusal refusal);

// A 3-byte value (DW_FORM_strx3, addrx3) in the reader's byte order, read a
// byte at a time: a short one fails at its last byte.
uint64_t read_u24(ByteReader& r);

}  // namespace dravont
