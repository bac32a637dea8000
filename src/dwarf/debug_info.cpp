#include "dwarf/debug_info.h"

#include <cstring>
#include <string>

#include "common/run_error.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

namespace {

// DW_FORM_indirect names the form in the data; a form naming itself again
// and again is malformed, not a reason to recurse without end.
constexpr int kMaxIndirection = 4;

// Forms of the split and supplementary-file extensions: their values point
// into other files, which this reader does not have.
constexpr uint16_t kGnuAddrIndex = 0x1f01;
constexpr uint16_t kGnuStrIndex = 0x1f02;
constexpr uint16_t kGnuRefAlt = 0x1f20;
constexpr uint16_t kGnuStrpAlt = 0x1f21;

// The value of one attribute, by the class of its form.
struct FormValue {
    enum Class : uint8_t { Constant, Signed, Address, AddressIndex, Block, Flag, String, StrOffset,
                           LineStrOffset, StrIndex, Reference, SecOffset, ListIndex, Signature } cls = Constant;
    uint64_t value = 0;
    const uint8_t* block = nullptr;
    std::string_view text;
};

// The string at `offset` of .debug_str or .debug_line_str; string_at reports
// an offset outside the section or a string without its terminator.
std::string_view section_string_at(const ByteSpan& span, uint64_t offset) {
    if (offset < span.size) {
        const char* text = reinterpret_cast<const char*>(span.data) + offset;
        if (const void* nul = std::memchr(text, 0, static_cast<size_t>(span.size - offset))) {
            return std::string_view(text, static_cast<size_t>(static_cast<const char*>(nul) - text));
        }
    }
    return string_at(span, offset, "string offset");
}

}  // namespace

UnitHeader decode_unit_header(const DwarfSections& sections, uint64_t offset, bool inTypes) {
    ByteReader r(inTypes ? sections.types : sections.info, sections.order, offset);
    UnitHeader h;
    h.offset = offset;
    h.inTypes = inTypes;
    const uint32_t length = r.u32();
    if (length >= 0xFFFFFFF0u) r.fail("64-bit DWARF unit at " + hex_text(offset), offset);
    if (length > r.remaining()) r.fail("unit length at " + hex_text(offset), offset);
    h.end = r.position() + length;
    h.version = r.u16();
    if (h.version < 2 || h.version > 5) {
        r.fail("DWARF version " + std::to_string(h.version) + " of the unit at " + hex_text(offset), offset);
    }
    if (h.version >= 5) {
        h.unitType = r.u8();
        h.addressSize = r.u8();
        h.abbrevOffset = r.u32();
        // Skeleton and split units carry an 8-byte unit id (stepped over),
        // type units a signature and the offset of their type's DIE.
        if (h.unitType == DW_UT_skeleton || h.unitType == DW_UT_split_compile) r.skip(8);
        if (h.unitType == DW_UT_type || h.unitType == DW_UT_split_type) {
            h.typeSignature = r.u64();
            h.typeOffset = r.u32();
        }
    } else {
        h.unitType = inTypes ? DW_UT_type : DW_UT_compile;
        h.abbrevOffset = r.u32();
        h.addressSize = r.u8();
        if (inTypes) {
            h.typeSignature = r.u64();
            h.typeOffset = r.u32();
        }
    }
    const uint8_t a = h.addressSize;
    if (a != 1 && a != 2 && a != 4 && a != 8) r.fail("address size of the unit at " + hex_text(offset), offset);
    h.firstDie = r.position();
    if (h.firstDie > h.end) r.fail("unit header at " + hex_text(offset), offset);
    if (inTypes) {
        // One number names a DIE of either section (see kTypesSectionBit).
        h.offset |= kTypesSectionBit;
        h.end |= kTypesSectionBit;
        h.firstDie |= kTypesSectionBit;
    }
    return h;
}

DwarfUnit::DwarfUnit(const DwarfSections& sections, const UnitHeader& header, AbbrevCache& abbrevs)
    : sections_(sections), span_(header.inTypes ? sections.types : sections.info), header_(header),
      abbrevs_(abbrevs.at(header.abbrevOffset)), refAddrSize_(header.version == 2 ? header.addressSize : 4) {}

void DwarfUnit::set_bases(const DieInfo& root) {
    strOffsetsBase_ = {root.hasStrOffsetsBase, root.strOffsetsBase};
    addrBase_ = {root.hasAddrBase, root.addrBase};
    rnglistsBase_ = {root.hasRnglistsBase, root.rnglistsBase};
    if (root.lowPc.kind == AddrAttr::Address || root.lowPc.kind == AddrAttr::Index) {
        lowPcBase_ = address(root.lowPc);
    }
}

std::string_view DwarfUnit::section_string(const StrAttr& s) const {
    if (s.kind == StrAttr::Str) return section_string_at(sections_.str, s.value);
    if (s.kind == StrAttr::LineStr) return section_string_at(sections_.lineStr, s.value);
    return indexed_string(s.value);
}

// Out of line: its failure path would otherwise weigh on every string look-up.
[[gnu::noinline]] std::string_view DwarfUnit::indexed_string(uint64_t index) const {
    // Without DW_AT_str_offsets_base the table starts after the 8-byte
    // header of the section's first contribution.
    const uint64_t base = strOffsetsBase_.first ? strOffsetsBase_.second : 8;
    ByteReader r(sections_.strOffsets, sections_.order);
    const uint64_t at = base + index * 4;
    if (index > sections_.strOffsets.size / 4 || !sections_.strOffsets.contains(at, 4)) {
        r.fail("string index " + std::to_string(index), base);
    }
    r.seek(at);
    return section_string_at(sections_.str, r.u32());
}

uint64_t DwarfUnit::address_index(uint64_t index) const {
    const uint64_t base = addrBase_.first ? addrBase_.second : 8;
    const uint8_t size = header_.addressSize;
    ByteReader r(sections_.addr, sections_.order);
    const uint64_t at = base + index * size;
    if (index > sections_.addr.size / size || !sections_.addr.contains(at, size)) {
        r.fail("address index " + std::to_string(index), base);
    }
    r.seek(at);
    return r.sized(size);
}

uint64_t DwarfUnit::address(const AddrAttr& a) const {
    return a.kind == AddrAttr::Index ? address_index(a.value) : a.value;
}

// Any other DIE, or a failure named as it always was.
DieHead DwarfUnit::read_head_slowly(uint64_t offset) const {
    ByteReader r(span_, sections_.order);
    if (!contains_die(offset)) r.fail("reference to DIE " + hex_text(offset) + " outside its unit", offset);
    r.seek(offset & ~kTypesSectionBit);
    DieHead head;
    head.offset = offset;
    const uint64_t code = r.uleb();
    if (code != 0) {
        head.abbrev = abbrevs_->find(code);
        if (!head.abbrev) r.fail("abbreviation code " + std::to_string(code) + " of DIE " + hex_text(offset), offset);
    }
    head.attributes = r.position() | (offset & kTypesSectionBit);
    return head;
}

void DwarfUnit::skip_value(ByteReader& r, const AbbrevAttr& attr) const {
    switch (attr.size) {
        case FormSize::Fixed:
            if (attr.bytes == 3) {
                r.u8(), r.u8(), r.u8();  // as a 3-byte value is read: a short one fails at its last byte
            } else {
                r.skip(attr.bytes);
            }
            return;
        case FormSize::Address: r.skip(header_.addressSize); return;
        case FormSize::RefAddr: r.skip(refAddrSize_); return;
        case FormSize::Uleb: r.uleb(); return;
        case FormSize::Sleb: r.sleb(); return;
        case FormSize::String: r.cstr(); return;
        case FormSize::Block1: r.skip(r.u8()); return;
        case FormSize::Block2: r.skip(r.u16()); return;
        case FormSize::Block4: r.skip(r.u32()); return;
        case FormSize::BlockUleb: r.skip(r.uleb()); return;
        case FormSize::Other: {
            DieInfo ignored;
            read_attribute(r, attr.name, attr.form, attr.implicitConst, ignored, 0);
            return;
        }
    }
}

namespace {

uint64_t u24(ByteReader& r) {
    const uint64_t b0 = r.u8(), b1 = r.u8(), b2 = r.u8();
    return r.order() == ByteOrder::Big ? (b0 << 16 | b1 << 8 | b2) : (b2 << 16 | b1 << 8 | b0);
}

[[gnu::always_inline]] inline FormValue read_form(ByteReader& r, uint16_t form, int64_t implicitConst, const UnitHeader& unit) {
    FormValue v;
    auto block = [&](uint64_t length) {
        v.cls = FormValue::Block;
        const uint64_t at = r.position();
        r.skip(length);
        v.block = r.span().data + at;
        v.value = length;
    };
    switch (form) {
        case DW_FORM_addr: v.cls = FormValue::Address; v.value = r.sized(unit.addressSize); break;
        case DW_FORM_addrx: v.cls = FormValue::AddressIndex; v.value = r.uleb(); break;
        case DW_FORM_addrx1: v.cls = FormValue::AddressIndex; v.value = r.u8(); break;
        case DW_FORM_addrx2: v.cls = FormValue::AddressIndex; v.value = r.u16(); break;
        case DW_FORM_addrx3: v.cls = FormValue::AddressIndex; v.value = u24(r); break;
        case DW_FORM_addrx4: v.cls = FormValue::AddressIndex; v.value = r.u32(); break;
        case DW_FORM_block1: block(r.u8()); break;
        case DW_FORM_block2: block(r.u16()); break;
        case DW_FORM_block4: block(r.u32()); break;
        case DW_FORM_block:
        case DW_FORM_exprloc: block(r.uleb()); break;
        case DW_FORM_data1: v.value = r.u8(); break;
        case DW_FORM_data2: v.value = r.u16(); break;
        case DW_FORM_data4: v.value = r.u32(); break;
        case DW_FORM_data8: v.value = r.u64(); break;
        case DW_FORM_data16: block(16); break;
        case DW_FORM_udata: v.value = r.uleb(); break;
        case DW_FORM_sdata: v.cls = FormValue::Signed; v.value = static_cast<uint64_t>(r.sleb()); break;
        case DW_FORM_implicit_const: v.cls = FormValue::Signed; v.value = static_cast<uint64_t>(implicitConst); break;
        case DW_FORM_flag: v.cls = FormValue::Flag; v.value = r.u8() != 0; break;
        case DW_FORM_flag_present: v.cls = FormValue::Flag; v.value = 1; break;
        case DW_FORM_string: v.cls = FormValue::String; v.text = r.cstr(); break;
        case DW_FORM_strp: v.cls = FormValue::StrOffset; v.value = r.u32(); break;
        case DW_FORM_line_strp: v.cls = FormValue::LineStrOffset; v.value = r.u32(); break;
        case DW_FORM_strx: v.cls = FormValue::StrIndex; v.value = r.uleb(); break;
        case DW_FORM_strx1: v.cls = FormValue::StrIndex; v.value = r.u8(); break;
        case DW_FORM_strx2: v.cls = FormValue::StrIndex; v.value = r.u16(); break;
        case DW_FORM_strx3: v.cls = FormValue::StrIndex; v.value = u24(r); break;
        case DW_FORM_strx4: v.cls = FormValue::StrIndex; v.value = r.u32(); break;
        case DW_FORM_ref1: v.cls = FormValue::Reference; v.value = unit.offset + r.u8(); break;
        case DW_FORM_ref2: v.cls = FormValue::Reference; v.value = unit.offset + r.u16(); break;
        case DW_FORM_ref4: v.cls = FormValue::Reference; v.value = unit.offset + r.u32(); break;
        case DW_FORM_ref8: v.cls = FormValue::Reference; v.value = unit.offset + r.u64(); break;
        case DW_FORM_ref_udata: v.cls = FormValue::Reference; v.value = unit.offset + r.uleb(); break;
        case DW_FORM_ref_addr:
            // An address-sized offset in DWARF 2, an offset-sized one later.
            v.cls = FormValue::Reference;
            v.value = unit.version == 2 ? r.sized(unit.addressSize) : r.u32();
            break;
        case DW_FORM_sec_offset: v.cls = FormValue::SecOffset; v.value = r.u32(); break;
        case DW_FORM_loclistx:
        case DW_FORM_rnglistx: v.cls = FormValue::ListIndex; v.value = r.uleb(); break;
        case DW_FORM_ref_sig8: v.cls = FormValue::Signature; v.value = r.u64(); break;
        case DW_FORM_ref_sup4:
        case DW_FORM_ref_sup8:
        case DW_FORM_strp_sup:
        case kGnuRefAlt:
        case kGnuStrpAlt:
            r.fail("reference into a supplementary file (form " + hex_text(form) + ")", r.position());
        case kGnuAddrIndex:
        case kGnuStrIndex:
            r.fail("split-DWARF form " + hex_text(form), r.position());
        default:
            r.fail("unknown attribute form " + hex_text(form), r.position());
    }
    return v;
}

bool is_constant(const FormValue& v) {
    return v.cls == FormValue::Constant || v.cls == FormValue::Signed;
}

AddrAttr address_attr(const FormValue& v) {
    AddrAttr a;
    a.value = v.value;
    if (v.cls == FormValue::Address) a.kind = AddrAttr::Address;
    else if (v.cls == FormValue::AddressIndex) a.kind = AddrAttr::Index;
    else if (is_constant(v)) a.kind = AddrAttr::Constant;
    return a;
}

StrAttr string_attr(const FormValue& v) {
    StrAttr s;
    s.value = v.value;
    switch (v.cls) {
        case FormValue::String: s.kind = StrAttr::Inline; s.text = v.text; break;
        case FormValue::StrOffset: s.kind = StrAttr::Str; break;
        case FormValue::LineStrOffset: s.kind = StrAttr::LineStr; break;
        case FormValue::StrIndex: s.kind = StrAttr::Index; break;
        default: break;  // not a string form: treated as absent
    }
    return s;
}

}  // namespace

namespace {

// The fields of DieInfo an attribute fills; kNone for the attributes the
// conversion never reads, which are stepped over by their forms.
enum Slot : uint8_t {
    kNone, kName, kLinkageName, kExternal, kDeclaration, kInline, kLowPc, kHighPc, kEntryPc, kRanges,
    kLocation, kType, kDeclFile, kDwoName, kAbstractOrigin, kSpecification, kByteSize, kEncoding,
    kLanguage, kStmtList, kCompDir, kStrOffsetsBase, kAddrBase, kRnglistsBase,
};

struct SlotTable {
    uint8_t slots[256]{};
    constexpr SlotTable() {
        slots[DW_AT_name] = kName;
        slots[DW_AT_linkage_name] = kLinkageName;
        slots[DW_AT_external] = kExternal;
        slots[DW_AT_declaration] = kDeclaration;
        slots[DW_AT_inline] = kInline;
        slots[DW_AT_low_pc] = kLowPc;
        slots[DW_AT_high_pc] = kHighPc;
        slots[DW_AT_entry_pc] = kEntryPc;
        slots[DW_AT_ranges] = kRanges;
        slots[DW_AT_location] = kLocation;
        slots[DW_AT_type] = kType;
        slots[DW_AT_decl_file] = kDeclFile;
        slots[DW_AT_dwo_name] = kDwoName;
        slots[DW_AT_abstract_origin] = kAbstractOrigin;
        slots[DW_AT_specification] = kSpecification;
        slots[DW_AT_byte_size] = kByteSize;
        slots[DW_AT_encoding] = kEncoding;
        slots[DW_AT_language] = kLanguage;
        slots[DW_AT_stmt_list] = kStmtList;
        slots[DW_AT_comp_dir] = kCompDir;
        slots[DW_AT_str_offsets_base] = kStrOffsetsBase;
        slots[DW_AT_addr_base] = kAddrBase;
        slots[DW_AT_rnglists_base] = kRnglistsBase;
    }
};
constexpr SlotTable kSlots;

uint8_t slot_of(uint16_t name) {
    if (name < 256) return kSlots.slots[name];
    if (name == DW_AT_MIPS_linkage_name) return kLinkageName;
    return name == DW_AT_GNU_dwo_name ? kDwoName : kNone;
}

}  // namespace

namespace {

// Keeps the value of a read attribute in its field of the DIE.
[[gnu::always_inline]] inline void store(uint8_t slot, const FormValue& v, DieInfo& die) {
    switch (slot) {
        case kName: die.name = string_attr(v); break;
        case kLinkageName: die.linkageName = string_attr(v); break;
        case kExternal: die.external = v.cls == FormValue::Flag && v.value != 0; break;
        case kDeclaration: die.declaration = v.cls == FormValue::Flag && v.value != 0; break;
        case kInline: die.hasInline = true; break;
        case kLowPc: die.lowPc = address_attr(v); break;
        case kHighPc: die.highPc = address_attr(v); break;
        case kEntryPc: die.entryPc = address_attr(v); break;
        case kRanges:
            if (v.cls == FormValue::ListIndex) die.rangesKind = DieInfo::RangesIndex;
            else if (v.cls == FormValue::SecOffset || v.cls == FormValue::Constant) die.rangesKind = DieInfo::RangesOffset;
            die.ranges = v.value;
            break;
        case kLocation:
            die.hasLocation = true;
            if (v.cls == FormValue::Block) {
                die.location = v.block;
                die.locationSize = v.value;
            }
            break;
        case kType:
            if (v.cls == FormValue::Reference) die.type = v.value;
            if (v.cls == FormValue::Signature) {
                die.typeBySignature = true;
                die.typeSignature = v.value;
            }
            break;
        case kDeclFile:
            die.hasDeclFile = is_constant(v);
            die.declFile = v.value;
            break;
        case kDwoName: die.dwoName = string_attr(v); break;
        case kAbstractOrigin:
            if (v.cls == FormValue::Reference) die.abstractOrigin = v.value;
            break;
        case kSpecification:
            if (v.cls == FormValue::Reference) die.specification = v.value;
            break;
        case kByteSize:
            if (is_constant(v)) {
                die.hasByteSize = true;
                die.byteSize = v.value;
            }
            break;
        case kEncoding: die.encoding = static_cast<uint8_t>(v.value); break;
        case kLanguage: die.language = v.value; break;
        case kStmtList:
            die.hasStmtList = v.cls == FormValue::SecOffset || v.cls == FormValue::Constant;
            die.stmtList = v.value;
            break;
        case kCompDir: die.compDir = string_attr(v); break;
        case kStrOffsetsBase: die.hasStrOffsetsBase = true; die.strOffsetsBase = v.value; break;
        case kAddrBase: die.hasAddrBase = true; die.addrBase = v.value; break;
        case kRnglistsBase: die.hasRnglistsBase = true; die.rnglistsBase = v.value; break;
        default: break;
    }
}

}  // namespace

bool die_keep_step(uint16_t name, uint16_t form, int64_t implicitConst, AbbrevStep& step) {
    const uint8_t slot = slot_of(name);
    if (slot == kNone) return false;
    step = AbbrevStep();
    step.slot = slot;
    // How read_form reads each form, and the class it gives the value.
    using Op = AbbrevStep::Op;
    auto set = [&](Op op, FormValue::Class cls) {
        step.op = op;
        step.cls = cls;
    };
    switch (form) {
        case DW_FORM_addr: set(Op::KeepAddress, FormValue::Address); break;
        case DW_FORM_addrx: set(Op::KeepUleb, FormValue::AddressIndex); break;
        case DW_FORM_addrx1: set(Op::Keep1, FormValue::AddressIndex); break;
        case DW_FORM_addrx2: set(Op::Keep2, FormValue::AddressIndex); break;
        case DW_FORM_addrx3: set(Op::Keep3, FormValue::AddressIndex); break;
        case DW_FORM_addrx4: set(Op::Keep4, FormValue::AddressIndex); break;
        case DW_FORM_block1: set(Op::KeepBlock1, FormValue::Block); break;
        case DW_FORM_block2: set(Op::KeepBlock2, FormValue::Block); break;
        case DW_FORM_block4: set(Op::KeepBlock4, FormValue::Block); break;
        case DW_FORM_block:
        case DW_FORM_exprloc: set(Op::KeepBlockUleb, FormValue::Block); break;
        case DW_FORM_data1: set(Op::Keep1, FormValue::Constant); break;
        case DW_FORM_data2: set(Op::Keep2, FormValue::Constant); break;
        case DW_FORM_data4: set(Op::Keep4, FormValue::Constant); break;
        case DW_FORM_data8: set(Op::Keep8, FormValue::Constant); break;
        case DW_FORM_data16: set(Op::Keep16, FormValue::Block); break;
        case DW_FORM_udata: set(Op::KeepUleb, FormValue::Constant); break;
        case DW_FORM_sdata: set(Op::KeepSleb, FormValue::Signed); break;
        case DW_FORM_implicit_const:
            set(Op::KeepConst, FormValue::Signed);
            step.constant = implicitConst;
            break;
        case DW_FORM_flag: set(Op::KeepFlag, FormValue::Flag); break;
        case DW_FORM_flag_present:
            set(Op::KeepConst, FormValue::Flag);
            step.constant = 1;
            break;
        case DW_FORM_string: set(Op::KeepString, FormValue::String); break;
        case DW_FORM_strp: set(Op::Keep4, FormValue::StrOffset); break;
        case DW_FORM_line_strp: set(Op::Keep4, FormValue::LineStrOffset); break;
        case DW_FORM_strx: set(Op::KeepUleb, FormValue::StrIndex); break;
        case DW_FORM_strx1: set(Op::Keep1, FormValue::StrIndex); break;
        case DW_FORM_strx2: set(Op::Keep2, FormValue::StrIndex); break;
        case DW_FORM_strx3: set(Op::Keep3, FormValue::StrIndex); break;
        case DW_FORM_strx4: set(Op::Keep4, FormValue::StrIndex); break;
        case DW_FORM_ref1: set(Op::KeepRef1, FormValue::Reference); break;
        case DW_FORM_ref2: set(Op::KeepRef2, FormValue::Reference); break;
        case DW_FORM_ref4: set(Op::KeepRef4, FormValue::Reference); break;
        case DW_FORM_ref8: set(Op::KeepRef8, FormValue::Reference); break;
        case DW_FORM_ref_udata: set(Op::KeepRefUleb, FormValue::Reference); break;
        case DW_FORM_ref_addr: set(Op::KeepRefAddr, FormValue::Reference); break;
        case DW_FORM_sec_offset: set(Op::Keep4, FormValue::SecOffset); break;
        case DW_FORM_loclistx:
        case DW_FORM_rnglistx: set(Op::KeepUleb, FormValue::ListIndex); break;
        case DW_FORM_ref_sig8: set(Op::Keep8, FormValue::Signature); break;
        default: step.op = Op::Slow; break;  // DW_FORM_indirect, refused forms: read_form decides
    }
    // The pairs of field and form most DIEs hold, decoded straight into
    // their field as store() would.
    if (slot == kName && form == DW_FORM_strp) step.op = Op::NameStrp;
    else if (slot == kType && form == DW_FORM_ref4) step.op = Op::TypeRef4;
    else if (slot == kLowPc && form == DW_FORM_addr) step.op = Op::LowPcAddress;
    else if (slot == kHighPc && form == DW_FORM_data4) step.op = Op::HighPcData4;
    else if (slot == kLocation && form == DW_FORM_exprloc) step.op = Op::LocationExprloc;
    return true;
}

void die_keep_constant(const AbbrevStep& step, DieInfo& die) {
    FormValue v;
    v.cls = static_cast<FormValue::Class>(step.cls);
    v.value = static_cast<uint64_t>(step.constant);
    store(step.slot, v, die);
}

namespace {

// The data after a DIE's code, read by its plan without exceptions: each
// read that would pass `end` returns false instead, and the DIE is then read
// again through ByteReader, which fails there with the usual message.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool big;

    bool has(uint64_t n) const { return n <= static_cast<uint64_t>(end - p); }

    // N bytes in the section's byte order; has(N) is checked by the caller.
    template <unsigned N>
    uint64_t take() {
        uint64_t v = 0;
        if (big) {
            for (unsigned i = 0; i < N; ++i) v = v << 8 | p[i];
        } else {
            for (unsigned i = N; i-- > 0;) v = v << 8 | p[i];
        }
        p += N;
        return v;
    }
    template <unsigned N>
    bool fixed(uint64_t& v) {
        if (!has(N)) return false;
        v = take<N>();
        return true;
    }
    // An address or offset of 1, 2, 4 or 8 bytes (the unit header checked the size).
    bool sized(uint8_t bytes, uint64_t& v) {
        switch (bytes) {
            case 1: return fixed<1>(v);
            case 2: return fixed<2>(v);
            case 4: return fixed<4>(v);
            case 8: return fixed<8>(v);
            default: return false;
        }
    }
    bool skip(uint64_t n) {
        if (!has(n)) return false;
        p += n;
        return true;
    }

    // LEB128 as ByteReader decodes it; a value it refuses stops the plan.
    bool uleb(uint64_t& v) {
        if (p != end && *p < 0x80) {
            v = *p++;
            return true;
        }
        return uleb_long(v);
    }
    bool uleb_long(uint64_t& v) {
        uint64_t value = 0;
        const uint8_t* q = p;
        for (unsigned shift = 0;; shift += 7) {
            if (shift >= 70 || q == end) return false;
            const uint8_t byte = *q++;
            const uint64_t bits = byte & 0x7F;
            if (shift == 63 && bits > 1) return false;
            if (shift < 64) value |= bits << shift;
            else if (bits != 0) return false;
            if ((byte & 0x80) == 0) break;
        }
        p = q;
        v = value;
        return true;
    }
    bool sleb(uint64_t& v) {
        uint64_t value = 0;
        unsigned shift = 0;
        uint8_t byte = 0;
        const uint8_t* q = p;
        do {
            if (shift >= 70 || q == end) return false;
            byte = *q++;
            if (shift < 64) value |= uint64_t{byte & 0x7Fu} << shift;
            shift += 7;
        } while (byte & 0x80);
        if (shift < 64 && (byte & 0x40)) value |= ~uint64_t{0} << shift;
        p = q;
        v = value;
        return true;
    }
    bool cstr(std::string_view& text) {
        const void* nul = std::memchr(p, 0, static_cast<size_t>(end - p));
        if (!nul) return false;
        const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - p);
        text = std::string_view(reinterpret_cast<const char*>(p), length);
        p += length + 1;
        return true;
    }
    bool block(uint64_t length, FormValue& v) {
        if (!has(length)) return false;
        v.block = p;
        v.value = length;
        p += length;
        return true;
    }
};

}  // namespace

template <bool kRead>
[[gnu::always_inline]] inline bool DwarfUnit::run_plan(uint64_t& at, const Abbrev& a, DieInfo* die) const {
    if (at > span_.size) return false;
    const AbbrevStep* steps = abbrevs_->steps(kRead ? a.firstRead : a.firstSkip);
    const uint32_t count = kRead ? a.readSteps : a.skipSteps;
    Cursor c{span_.data + at, span_.data + span_.size, sections_.order == ByteOrder::Big};
    uint64_t n = 0;
    std::string_view text;
    // Each kept value sets the fields its class uses (value; block or text).
    FormValue v;
    for (uint32_t i = 0; i < count; ++i) {
        const AbbrevStep& step = steps[i];
        bool fits = true;
        switch (step.op) {
            case AbbrevStep::Fixed: fits = c.skip(step.value); break;
            case AbbrevStep::Address: fits = c.skip(header_.addressSize); break;
            case AbbrevStep::RefAddr: fits = c.skip(refAddrSize_); break;
            case AbbrevStep::Uleb: fits = c.uleb(n); break;
            case AbbrevStep::Sleb: fits = c.sleb(n); break;
            case AbbrevStep::String: fits = c.cstr(text); break;
            case AbbrevStep::Block1: fits = c.fixed<1>(n) && c.skip(n); break;
            case AbbrevStep::Block2: fits = c.fixed<2>(n) && c.skip(n); break;
            case AbbrevStep::Block4: fits = c.fixed<4>(n) && c.skip(n); break;
            case AbbrevStep::BlockUleb: fits = c.uleb(n) && c.skip(n); break;
            case AbbrevStep::Slow: return false;
            case AbbrevStep::NameStrp:
                if (!c.fixed<4>(n)) return false;
                die->name = StrAttr{StrAttr::Str, n, {}};
                continue;
            case AbbrevStep::TypeRef4:
                if (!c.fixed<4>(n)) return false;
                die->type = header_.offset + n;
                continue;
            case AbbrevStep::LowPcAddress:
                if (!c.sized(header_.addressSize, n)) return false;
                die->lowPc = AddrAttr{AddrAttr::Address, n};
                continue;
            case AbbrevStep::HighPcData4:
                if (!c.fixed<4>(n)) return false;
                die->highPc = AddrAttr{AddrAttr::Constant, n};
                continue;
            case AbbrevStep::LocationExprloc:
                if (!c.uleb(n) || !c.has(n)) return false;
                die->hasLocation = true;
                die->location = c.p;
                die->locationSize = n;
                c.p += n;
                continue;
            // The kept values, read as read_form reads their forms.
            case AbbrevStep::KeepConst: v.value = static_cast<uint64_t>(step.constant); break;
            case AbbrevStep::Keep1: fits = c.fixed<1>(v.value); break;
            case AbbrevStep::Keep2: fits = c.fixed<2>(v.value); break;
            case AbbrevStep::Keep3: fits = c.fixed<3>(v.value); break;
            case AbbrevStep::Keep4: fits = c.fixed<4>(v.value); break;
            case AbbrevStep::Keep8: fits = c.fixed<8>(v.value); break;
            case AbbrevStep::KeepAddress: fits = c.sized(header_.addressSize, v.value); break;
            case AbbrevStep::KeepRefAddr: fits = c.sized(refAddrSize_, v.value); break;
            case AbbrevStep::KeepUleb: fits = c.uleb(v.value); break;
            case AbbrevStep::KeepSleb: fits = c.sleb(v.value); break;
            case AbbrevStep::KeepFlag:
                fits = c.fixed<1>(n);
                v.value = n != 0;
                break;
            case AbbrevStep::KeepString: fits = c.cstr(v.text); break;
            case AbbrevStep::KeepBlock1: fits = c.fixed<1>(n) && c.block(n, v); break;
            case AbbrevStep::KeepBlock2: fits = c.fixed<2>(n) && c.block(n, v); break;
            case AbbrevStep::KeepBlock4: fits = c.fixed<4>(n) && c.block(n, v); break;
            case AbbrevStep::KeepBlockUleb: fits = c.uleb(n) && c.block(n, v); break;
            case AbbrevStep::Keep16: fits = c.block(16, v); break;
            case AbbrevStep::KeepRef1: fits = c.fixed<1>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef2: fits = c.fixed<2>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef4: fits = c.fixed<4>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef8: fits = c.fixed<8>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRefUleb: fits = c.uleb(n); v.value = header_.offset + n; break;
            // Plans hold only the ops above (abbrev.cpp builds them): no
            // range check before the jump.
            default: __builtin_unreachable();
        }
        if (!fits) return false;
        if (kRead && step.op >= AbbrevStep::KeepConst) {
            v.cls = static_cast<FormValue::Class>(step.cls);
            store(step.slot, v, *die);
        }
    }
    at = static_cast<uint64_t>(c.p - span_.data);
    return true;
}

uint64_t DwarfUnit::skip_die(const DieHead& head) const {
    const uint64_t sectionBit = head.offset & kTypesSectionBit;
    uint64_t at = head.attributes & ~kTypesSectionBit;
    if (const Abbrev* a = head.abbrev) {
        const uint64_t end = header_.end & ~kTypesSectionBit;
        if (a->fixedSize && at <= end && fixed_bytes(*a) <= end - at) {
            at += fixed_bytes(*a);
        } else if (!run_plan<false>(at, *a, nullptr)) {
            // Value by value, failing where read_die would.
            ByteReader r(span_, sections_.order, at);
            const AbbrevAttr* attrs = abbrevs_->attrs(*a);
            for (uint32_t i = 0; i < a->attrCount; ++i) skip_value(r, attrs[i]);
            at = r.position();
        }
    }
    const uint64_t next = at | sectionBit;
    if (next > header_.end) {
        ByteReader(span_, sections_.order).fail("DIE " + hex_text(head.offset) + " runs past its unit", head.offset);
    }
    return next;
}

DieInfo DwarfUnit::read_die(const DieHead& head) const {
    const uint64_t start = head.attributes & ~kTypesSectionBit;
    DieInfo die = head.abbrev ? abbrevs_->prototype(*head.abbrev) : DieInfo();
    die.offset = head.offset;
    uint64_t at = start;
    if (const Abbrev* a = head.abbrev) {
        if (!run_plan<true>(at, *a, &die)) {
            // Value by value from the start, failing where that reads past the end.
            DieInfo exact;
            exact.offset = die.offset;
            exact.abbrevCode = a->code;
            exact.tag = a->tag;
            exact.hasChildren = a->hasChildren;
            die = exact;
            ByteReader r(span_, sections_.order, start);
            const AbbrevAttr* attrs = abbrevs_->attrs(*a);
            for (uint32_t i = 0; i < a->attrCount; ++i) {
                const AbbrevAttr& attr = attrs[i];
                const uint8_t slot = slot_of(attr.name);
                if (attr.size == FormSize::Other) read_attribute(r, attr.name, attr.form, attr.implicitConst, die, 0);
                else if (slot == kNone) skip_value(r, attr);
                else store(slot, read_form(r, attr.form, attr.implicitConst, header_), die);
            }
            at = r.position();
        }
    }
    die.next = at | (head.offset & kTypesSectionBit);
    if (die.next > header_.end) {
        ByteReader(span_, sections_.order).fail("DIE " + hex_text(head.offset) + " runs past its unit", head.offset);
    }
    return die;
}

void DwarfUnit::read_attribute(ByteReader& r, uint16_t name, uint16_t form, int64_t implicitConst,
                               DieInfo& die, int depth) const {
    if (form == DW_FORM_indirect) {
        if (depth >= kMaxIndirection) r.fail("DW_FORM_indirect chain", r.position());
        const uint64_t actual = r.uleb();
        if (actual > 0xFFFF) r.fail("indirect form", r.position());
        read_attribute(r, name, static_cast<uint16_t>(actual), 0, die, depth + 1);
        return;
    }
    store(slot_of(name), read_form(r, form, implicitConst, header_), die);
}

}  // namespace dravont
