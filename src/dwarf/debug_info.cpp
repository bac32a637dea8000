#include "dwarf/debug_info.h"

#include <cstring>
#include <string>

#include "common/run_error.h"
#include "dwarf/die_cursor.h"
#include "dwarf/dwarf_constants.h"
#include "dwarf/forms.h"

namespace dravont {

namespace {

// DW_FORM_indirect names the form in the data; a form naming itself again
// and again is malformed, not a reason to recurse without end.
constexpr int kMaxIndirection = 4;

// The value of one attribute, by the class of its form.
struct FormValue {
    FormClass cls = FormClass::Constant;
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
                read_u24(r);  // as a 3-byte value is read: a short one fails at its last byte
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
        default: {  // Indirect, Refused (the other sizes are laid out as Fixed)
            DieInfo ignored;
            read_attribute(r, attr.name, attr.form, attr.implicitConst, ignored, 0);
            return;
        }
    }
}

namespace {

// Reads a value of `form` as the form table lays it out.
[[gnu::always_inline]] inline FormValue read_form(ByteReader& r, uint16_t form, int64_t implicitConst, const UnitHeader& unit) {
    const FormInfo& info = form_info(form);
    FormValue v;
    v.cls = info.cls;
    auto block = [&](uint64_t length) {
        const uint64_t at = r.position();
        r.skip(length);
        v.block = r.span().data + at;
        v.value = length;
    };
    switch (info.size) {
        case FormSize::Fixed:
            if (info.bytes == 3) v.value = read_u24(r);
            else if (info.bytes == 16) block(16);
            else v.value = r.sized(info.bytes);
            if (info.cls == FormClass::Flag) v.value = v.value != 0;
            break;
        case FormSize::Implicit: v.value = static_cast<uint64_t>(implicit_value(form, implicitConst)); break;
        case FormSize::Address: v.value = r.sized(unit.addressSize); break;
        case FormSize::Offset: v.value = r.sized(kOffsetSize); break;
        case FormSize::RefAddr: v.value = r.sized(unit.version == 2 ? unit.addressSize : kOffsetSize); break;
        case FormSize::Uleb: v.value = r.uleb(); break;
        case FormSize::Sleb: v.value = static_cast<uint64_t>(r.sleb()); break;
        case FormSize::String: v.text = r.cstr(); break;
        case FormSize::Block1: block(r.u8()); break;
        case FormSize::Block2: block(r.u16()); break;
        case FormSize::Block4: block(r.u32()); break;
        case FormSize::BlockUleb: block(r.uleb()); break;
        // DW_FORM_indirect is resolved by read_attribute before it gets here.
        case FormSize::Indirect: refuse_form(r, form, FormRefusal::Unknown);
        case FormSize::Refused: refuse_form(r, form, info.refusal);
    }
    if (info.unitRelative) v.value += unit.offset;
    return v;
}

bool is_constant(const FormValue& v) {
    return v.cls == FormClass::Constant || v.cls == FormClass::Signed;
}

AddrAttr address_attr(const FormValue& v) {
    AddrAttr a;
    a.value = v.value;
    if (v.cls == FormClass::Address) a.kind = AddrAttr::Address;
    else if (v.cls == FormClass::AddressIndex) a.kind = AddrAttr::Index;
    else if (is_constant(v)) a.kind = AddrAttr::Constant;
    return a;
}

StrAttr string_attr(const FormValue& v) {
    StrAttr s;
    s.value = v.value;
    switch (v.cls) {
        case FormClass::String: s.kind = StrAttr::Inline; s.text = v.text; break;
        case FormClass::StrOffset: s.kind = StrAttr::Str; break;
        case FormClass::LineStrOffset: s.kind = StrAttr::LineStr; break;
        case FormClass::StrIndex: s.kind = StrAttr::Index; break;
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
        case kExternal: die.external = v.cls == FormClass::Flag && v.value != 0; break;
        case kDeclaration: die.declaration = v.cls == FormClass::Flag && v.value != 0; break;
        case kInline: die.hasInline = true; break;
        case kLowPc: die.lowPc = address_attr(v); break;
        case kHighPc: die.highPc = address_attr(v); break;
        case kEntryPc: die.entryPc = address_attr(v); break;
        case kRanges:
            if (v.cls == FormClass::ListIndex) die.rangesKind = DieInfo::RangesIndex;
            else if (v.cls == FormClass::SecOffset || v.cls == FormClass::Constant) die.rangesKind = DieInfo::RangesOffset;
            die.ranges = v.value;
            break;
        case kLocation:
            die.hasLocation = true;
            if (v.cls == FormClass::Block) {
                die.location = v.block;
                die.locationSize = v.value;
            }
            break;
        case kType:
            if (v.cls == FormClass::Reference) die.type = v.value;
            if (v.cls == FormClass::Signature) {
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
            if (v.cls == FormClass::Reference) die.abstractOrigin = v.value;
            break;
        case kSpecification:
            if (v.cls == FormClass::Reference) die.specification = v.value;
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
            die.hasStmtList = v.cls == FormClass::SecOffset || v.cls == FormClass::Constant;
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

namespace {

// The Keep op that reads a value of `info` as read_form reads it.
AbbrevStep::Op keep_op(const FormInfo& info) {
    using Op = AbbrevStep::Op;
    static_assert(kOffsetSize == 4, "offset-sized values are kept as 4-byte ones");
    const bool ref = info.unitRelative;
    switch (info.size) {
        case FormSize::Fixed:
            switch (info.bytes) {
                case 1: return ref ? Op::KeepRef1 : info.cls == FormClass::Flag ? Op::KeepFlag : Op::Keep1;
                case 2: return ref ? Op::KeepRef2 : Op::Keep2;
                case 3: return Op::Keep3;
                case 4: return ref ? Op::KeepRef4 : Op::Keep4;
                case 8: return ref ? Op::KeepRef8 : Op::Keep8;
                case 16: return Op::Keep16;
                default: return Op::Slow;
            }
        case FormSize::Implicit: return Op::KeepConst;
        case FormSize::Address: return Op::KeepAddress;
        case FormSize::Offset: return Op::Keep4;
        case FormSize::RefAddr: return Op::KeepRefAddr;
        case FormSize::Uleb: return ref ? Op::KeepRefUleb : Op::KeepUleb;
        case FormSize::Sleb: return Op::KeepSleb;
        case FormSize::String: return Op::KeepString;
        case FormSize::Block1: return Op::KeepBlock1;
        case FormSize::Block2: return Op::KeepBlock2;
        case FormSize::Block4: return Op::KeepBlock4;
        case FormSize::BlockUleb: return Op::KeepBlockUleb;
        default: return Op::Slow;  // DW_FORM_indirect, refused forms: read_attribute decides
    }
}

}  // namespace

bool die_keep_step(uint16_t name, uint16_t form, int64_t implicitConst, AbbrevStep& step) {
    const uint8_t slot = slot_of(name);
    if (slot == kNone) return false;
    step = AbbrevStep();
    step.slot = slot;
    const FormInfo& info = form_info(form);
    using Op = AbbrevStep::Op;
    step.op = keep_op(info);
    step.cls = static_cast<uint8_t>(info.cls);
    if (step.op == Op::KeepConst) step.constant = implicit_value(form, implicitConst);
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
    v.cls = static_cast<FormClass>(step.cls);
    v.value = static_cast<uint64_t>(step.constant);
    store(step.slot, v, die);
}

// The run of fixed-size values of a Fixed step that passes the end of the
// data: fails where reading its values one by one fails, at the first that
// does not fit (a 3-byte one where the data ends).
[[gnu::noinline, gnu::cold]] void DwarfUnit::fail_fixed_run(uint64_t at, const Abbrev& a, uint32_t first) const {
    const AbbrevAttr* attrs = abbrevs_->attrs(a);
    ByteReader r(span_, sections_.order, at);
    for (uint32_t i = first; i < a.attrCount; ++i) skip_value(r, attrs[i]);
    r.fail("data", at);  // not reached: the run does not fit
}

// Longer than a screen by design: one switch over every plan op, the loop
// that most of a conversion's time runs in, kept whole so that it compiles
// to one jump table with the cursor in registers.
template <bool kRead>
[[gnu::always_inline]] inline void DwarfUnit::run_plan(uint64_t& at, const Abbrev& a, DieInfo* die) const {
    const AbbrevStep* steps = abbrevs_->steps(kRead ? a.firstRead : a.firstSkip);
    const uint32_t count = kRead ? a.readSteps : a.skipSteps;
    if (at > span_.size) ByteReader(span_, sections_.order).fail("position", at);
    DieCursor c(span_, sections_.order, at);
    uint64_t n = 0;
    std::string_view text;
    // Each kept value sets the fields its class uses (value; block or text).
    FormValue v;
    for (uint32_t i = 0; i < count; ++i) {
        const AbbrevStep& step = steps[i];
        bool fits = true;
        switch (step.op) {
            case AbbrevStep::Fixed:
                if (!c.skip(step.value)) fail_fixed_run(c.failure_position(), a, step.firstAttr);
                continue;
            case AbbrevStep::Address: fits = c.skip(header_.addressSize); break;
            case AbbrevStep::RefAddr: fits = c.skip(refAddrSize_); break;
            case AbbrevStep::Uleb: fits = c.uleb(n); break;
            case AbbrevStep::Sleb: fits = c.sleb(n); break;
            case AbbrevStep::String: fits = c.cstr(text); break;
            case AbbrevStep::Block1: fits = c.fixed<1>(n) && c.skip(n); break;
            case AbbrevStep::Block2: fits = c.fixed<2>(n) && c.skip(n); break;
            case AbbrevStep::Block4: fits = c.fixed<4>(n) && c.skip(n); break;
            case AbbrevStep::BlockUleb: fits = c.uleb(n) && c.skip(n); break;
            case AbbrevStep::Slow:
                // The rest value by value, from the attribute the plan cannot step over.
                at = read_values<kRead>(c.position(), a, step.firstAttr, die);
                return;
            case AbbrevStep::NameStrp:
                if (!c.fixed<4>(n)) c.raise();
                die->name = StrAttr{StrAttr::Str, n, {}};
                continue;
            case AbbrevStep::TypeRef4:
                if (!c.fixed<4>(n)) c.raise();
                die->type = header_.offset + n;
                continue;
            case AbbrevStep::LowPcAddress:
                if (!c.sized(header_.addressSize, n)) c.raise();
                die->lowPc = AddrAttr{AddrAttr::Address, n};
                continue;
            case AbbrevStep::HighPcData4:
                if (!c.fixed<4>(n)) c.raise();
                die->highPc = AddrAttr{AddrAttr::Constant, n};
                continue;
            case AbbrevStep::LocationExprloc:
                if (!c.uleb(n) || !c.block(n, v.block)) c.raise();
                die->hasLocation = true;
                die->location = v.block;
                die->locationSize = n;
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
            case AbbrevStep::KeepBlock1: fits = c.fixed<1>(n) && c.block(n, v.block); v.value = n; break;
            case AbbrevStep::KeepBlock2: fits = c.fixed<2>(n) && c.block(n, v.block); v.value = n; break;
            case AbbrevStep::KeepBlock4: fits = c.fixed<4>(n) && c.block(n, v.block); v.value = n; break;
            case AbbrevStep::KeepBlockUleb: fits = c.uleb(n) && c.block(n, v.block); v.value = n; break;
            case AbbrevStep::Keep16: fits = c.block(16, v.block); v.value = 16; break;
            case AbbrevStep::KeepRef1: fits = c.fixed<1>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef2: fits = c.fixed<2>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef4: fits = c.fixed<4>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRef8: fits = c.fixed<8>(n); v.value = header_.offset + n; break;
            case AbbrevStep::KeepRefUleb: fits = c.uleb(n); v.value = header_.offset + n; break;
            // Plans hold only the ops above (abbrev.cpp builds them): no
            // range check before the jump.
            default: __builtin_unreachable();
        }
        if (!fits) c.raise();
        if (kRead && step.op >= AbbrevStep::KeepConst) {
            v.cls = static_cast<FormClass>(step.cls);
            store(step.slot, v, *die);
        }
    }
    at = c.position();
}

template <bool kRead>
uint64_t DwarfUnit::read_values(uint64_t at, const Abbrev& a, uint32_t first, DieInfo* die) const {
    ByteReader r(span_, sections_.order, at);
    const AbbrevAttr* attrs = abbrevs_->attrs(a);
    for (uint32_t i = first; i < a.attrCount; ++i) {
        const AbbrevAttr& attr = attrs[i];
        const uint8_t slot = kRead ? slot_of(attr.name) : uint8_t{kNone};
        if (attr.size == FormSize::Indirect || attr.size == FormSize::Refused) {
            DieInfo ignored;
            read_attribute(r, attr.name, attr.form, attr.implicitConst, kRead ? *die : ignored, 0);
        } else if (slot == kNone) {
            skip_value(r, attr);
        } else {
            store(slot, read_form(r, attr.form, attr.implicitConst, header_), *die);
        }
    }
    return r.position();
}

uint64_t DwarfUnit::skip_die(const DieHead& head) const {
    const uint64_t sectionBit = head.offset & kTypesSectionBit;
    uint64_t at = head.attributes & ~kTypesSectionBit;
    if (const Abbrev* a = head.abbrev) {
        const uint64_t end = header_.end & ~kTypesSectionBit;
        if (a->fixedSize && at <= end && fixed_bytes(*a) <= end - at) {
            at += fixed_bytes(*a);
        } else {
            run_plan<false>(at, *a, nullptr);
        }
    }
    const uint64_t next = at | sectionBit;
    if (next > header_.end) {
        ByteReader(span_, sections_.order).fail("DIE " + hex_text(head.offset) + " runs past its unit", head.offset);
    }
    return next;
}

DieInfo DwarfUnit::read_die(const DieHead& head) const {
    DieInfo die = head.abbrev ? abbrevs_->prototype(*head.abbrev) : DieInfo();
    die.offset = head.offset;
    uint64_t at = head.attributes & ~kTypesSectionBit;
    if (const Abbrev* a = head.abbrev) run_plan<true>(at, *a, &die);
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
