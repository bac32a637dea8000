#include "support/elf_builder.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include <zlib.h>
#ifdef DRAVONT_HAVE_ZSTD
#include <zstd.h>
#endif

namespace elf_test {

std::vector<uint8_t> uleb128(uint64_t value) {
    std::vector<uint8_t> out;
    do {
        const uint8_t b = value & 0x7F;
        value >>= 7;
        out.push_back(value ? b | 0x80 : b);
    } while (value);
    return out;
}

std::vector<uint8_t> sleb128(int64_t value) {
    std::vector<uint8_t> out;
    for (;;) {
        const uint8_t b = value & 0x7F;
        value >>= 7;  // arithmetic shift: the sign spreads
        // Done once the rest is all sign and bit 6 of this byte carries that sign.
        if ((value == 0 && !(b & 0x40)) || (value == -1 && (b & 0x40))) return out.push_back(b), out;
        out.push_back(b | 0x80);
    }
}

void ByteWriter::un(uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const size_t shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes.push_back(shift < 64 ? static_cast<uint8_t>(value >> shift) : 0);
    }
}

void ByteWriter::put32(size_t at, uint32_t v) {
    ByteWriter w{bigEndian};
    w.u32(v);
    std::copy(w.bytes.begin(), w.bytes.end(), bytes.begin() + at);
}

// ---- ELF container

namespace {

constexpr uint32_t kSymtab = 2, kStrtab = 3, kNobits = 8;

// The string table of the items' names ("\0", then each non-empty name) and
// each name's offset in it.
template <typename T>
std::vector<uint32_t> string_table(const std::vector<T>& items, std::vector<uint8_t>* out = nullptr) {
    ByteWriter w{false};
    w.u8(0);
    std::vector<uint32_t> at;
    for (const T& i : items) {
        at.push_back(i.name.empty() ? 0 : static_cast<uint32_t>(w.size()));
        if (!i.name.empty()) w.str(i.name);
    }
    if (out) *out = w.bytes;
    return at;
}

uint32_t align_up(uint32_t v, uint32_t a) { return a > 1 ? (v + a - 1) / a * a : v; }
bool is_local(const ElfSymbol& s) { return s.info >> 4 == 0; }  // STB_LOCAL

}  // namespace

std::vector<ElfSection> ElfBuilder::all_sections() const {
    std::vector<ElfSection> all{ElfSection{"", 0}};
    all.insert(all.end(), sections_.begin(), sections_.end());
    if (!symbols_.empty()) {
        std::vector<ElfSymbol> syms = symbols_;
        std::stable_partition(syms.begin(), syms.end(), is_local);
        ElfSection strtab{".strtab", kStrtab};
        const std::vector<uint32_t> nameAt = string_table(syms, &strtab.data);
        ByteWriter w{big_};
        w.un(0, 16);  // entry 0: the undefined symbol
        for (size_t i = 0; i < syms.size(); ++i) {
            w.u32(nameAt[i]), w.u32(syms[i].value), w.u32(syms[i].size);
            w.u8(syms[i].info), w.u8(0), w.u16(syms[i].shndx);
        }
        // sh_link: the string table; sh_info: one past the last local symbol.
        const auto locals = std::count_if(syms.begin(), syms.end(), is_local);
        const uint32_t strIndex = static_cast<uint32_t>(all.size() + 1);
        all.push_back({".symtab", kSymtab, 0, 0, w.bytes, strIndex, static_cast<uint32_t>(locals + 1), 4, 16});
        all.push_back(strtab);
    }
    all.push_back({".shstrtab", kStrtab});
    string_table(all, &all.back().data);
    return all;
}

ElfLayout ElfBuilder::layout() const {
    const std::vector<ElfSection> all = all_sections();
    ElfLayout l;
    l.shnum = static_cast<uint16_t>(all.size());
    l.shstrndx = static_cast<uint16_t>(all.size() - 1);
    if (!symbols_.empty()) l.symtabIndex = l.shstrndx - 2, l.strtabIndex = l.shstrndx - 1;
    uint32_t pos = 52;  // after the ELF header
    l.offsets.push_back(0);
    for (size_t i = 1; i < all.size(); ++i) {
        pos = align_up(pos, all[i].align);
        l.offsets.push_back(pos);
        if (all[i].type != kNobits) pos += static_cast<uint32_t>(all[i].data.size());
    }
    l.shoff = align_up(pos, 4);
    l.fileSize = l.shoff + 40u * l.shnum;
    return l;
}

std::vector<uint8_t> ElfBuilder::build() const {
    const std::vector<ElfSection> all = all_sections();
    const ElfLayout l = layout();
    ByteWriter w{big_};
    // e_ident: magic, class, data (1 little-endian, 2 big-endian), EV_CURRENT, OS ABI 0, padding.
    w.raw({0x7F, 'E', 'L', 'F', class_, static_cast<uint8_t>(big_ ? 2 : 1), 1});
    w.bytes.resize(16, 0);
    w.u16(type_), w.u16(machine_), w.u32(1), w.u32(entry), w.u32(0), w.u32(l.shoff), w.u32(flags);
    w.u16(52), w.u16(0), w.u16(0), w.u16(40), w.u16(l.shnum), w.u16(l.shstrndx);
    for (size_t i = 1; i < all.size(); ++i) {
        w.bytes.resize(l.offsets[i], 0);
        if (all[i].type != kNobits) w.raw(all[i].data);
    }
    w.bytes.resize(l.shoff, 0);
    const std::vector<uint32_t> nameAt = string_table(all);
    for (size_t i = 0; i < all.size(); ++i) {
        const ElfSection& s = all[i];
        w.u32(nameAt[i]), w.u32(s.type), w.u32(s.flags), w.u32(s.addr), w.u32(l.offsets[i]);
        w.u32(s.data.size()), w.u32(s.link), w.u32(s.info), w.u32(i ? s.align : 0), w.u32(s.entsize);
    }
    return w.bytes;
}

// A special opcode advances the address and the line and appends a row:
// opcode = (line advance - line_base) + line_range * operation advance + opcode_base.
uint8_t special_opcode(const LineProgram& p, uint64_t opAdvance, int64_t lineAdvance) {
    const int64_t line = lineAdvance - p.lineBase;
    if (line < 0 || line >= p.lineRange || opAdvance > 255)
        throw std::invalid_argument("no special opcode for this advance");
    const uint64_t code = static_cast<uint64_t>(line) + p.lineRange * opAdvance + p.opcodeBase;
    if (code > 255) throw std::invalid_argument("no special opcode for this advance");
    return static_cast<uint8_t>(code);
}

// ---- DWARF sections

namespace {

enum : uint8_t { DW_LNCT_path = 1, DW_LNCT_directory_index = 2, LNS_advance_pc = 2, LNS_advance_line = 3,
                 LNS_set_file = 4, LNS_fixed_advance_pc = 9, LNE_set_address = 2 };
constexpr uint8_t kStandardLengths[12] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};  // operands of opcodes 1-12

struct StringPool {
    ByteWriter w{false};
    std::map<std::string, uint32_t> at{};
    uint32_t add(const std::string& s) {
        const auto [it, added] = at.emplace(s, static_cast<uint32_t>(w.size()));
        if (added) w.str(s);
        return it->second;
    }
};

bool uses_strx(const Die& d) {
    for (const Attr& a : d.attrs)
        if (!a.raw && (a.form == DW_FORM_strx || (a.form >= DW_FORM_strx1 && a.form <= DW_FORM_strx4))) return true;
    return std::any_of(d.children.begin(), d.children.end(), uses_strx);
}
bool has_attr(const Die& d, uint16_t at) {
    return std::any_of(d.attrs.begin(), d.attrs.end(), [at](const Attr& a) { return a.at == at; });
}

using AbbrevCodes = std::map<std::vector<uint64_t>, uint32_t>;

// One encoding pass over every unit, with the DIE offsets of the previous
// pass (`labels`): the caller repeats until they stop changing, which
// settles forward references and the ULEB128 sizes of DW_FORM_ref_udata.
struct Encoder {
    bool big;
    uint8_t version, addrSize;
    const std::map<std::string, uint32_t>& labels;
    ByteWriter info{big}, abbrev{big}, line{big}, strOffsets{big};
    StringPool str{}, lineStr{};
    std::map<std::string, uint32_t> strxIndex{};
    std::set<std::string> missing{};
    DebugSections out{};

    uint32_t strx(const std::string& s) {
        const auto [it, added] = strxIndex.emplace(s, static_cast<uint32_t>(strxIndex.size()));
        if (added) strOffsets.u32(str.add(s));
        return it->second;
    }

    uint32_t target(const std::string& label) {
        const auto it = labels.find(label);
        if (it != labels.end()) return it->second;
        return missing.insert(label), 0;
    }

    void value(const Attr& a, uint32_t unitStart) {
        ByteWriter& w = info;
        if (a.raw) return w.raw(a.block);
        switch (a.form) {
        case DW_FORM_addr: return w.un(a.value, addrSize);
        case DW_FORM_data1: case DW_FORM_flag: return w.u8(a.value);
        case DW_FORM_data2: return w.u16(a.value);
        case DW_FORM_data4: case DW_FORM_sec_offset: return w.u32(a.value);
        case DW_FORM_data8: return w.un(a.value, 8);
        case DW_FORM_udata: return w.uleb(a.value);
        case DW_FORM_sdata: return w.sleb(static_cast<int64_t>(a.value));
        case DW_FORM_flag_present: case DW_FORM_implicit_const: return;  // all in the abbreviation
        case DW_FORM_string: return w.str(a.text);
        case DW_FORM_strp: return w.u32(str.add(a.text));
        case DW_FORM_line_strp: return w.u32(lineStr.add(a.text));
        case DW_FORM_strx: return w.uleb(strx(a.text));
        case DW_FORM_strx1: case DW_FORM_strx2: case DW_FORM_strx3: case DW_FORM_strx4:
            return w.un(strx(a.text), a.form - DW_FORM_strx1 + 1u);
        case DW_FORM_ref1: case DW_FORM_ref2: case DW_FORM_ref4: case DW_FORM_ref8:
            return w.un(target(a.target) - unitStart, 1u << (a.form - DW_FORM_ref1));
        case DW_FORM_ref_udata: return w.uleb(target(a.target) - unitStart);
        // An offset in .debug_info: address-sized in version 2, offset-sized later.
        case DW_FORM_ref_addr: return w.un(target(a.target), version == 2 ? addrSize : 4);
        case DW_FORM_block1: return w.u8(a.block.size()), w.raw(a.block);
        case DW_FORM_block2: return w.u16(a.block.size()), w.raw(a.block);
        case DW_FORM_block4: return w.u32(a.block.size()), w.raw(a.block);
        case DW_FORM_block: case DW_FORM_exprloc: return w.uleb(a.block.size()), w.raw(a.block);
        default: throw std::invalid_argument("no encoding for this form here: use raw()");
        }
    }

    // Identical shapes (tag, children, attributes, forms, implicit
    // constants) share one code of the unit's table.
    uint32_t abbrev_code(const Die& d, bool children, AbbrevCodes& codes) {
        std::vector<uint64_t> shape{d.tag, children};
        for (const Attr& a : d.attrs)
            shape.insert(shape.end(), {a.at, a.form, a.form == DW_FORM_implicit_const ? a.value : 0});
        const auto [it, added] = codes.emplace(shape, static_cast<uint32_t>(codes.size() + 1));
        if (!added) return it->second;
        abbrev.uleb(it->second), abbrev.uleb(d.tag), abbrev.u8(children);  // DW_CHILDREN_yes / _no
        for (const Attr& a : d.attrs) {
            abbrev.uleb(a.at), abbrev.uleb(a.form);
            if (a.form == DW_FORM_implicit_const) abbrev.sleb(static_cast<int64_t>(a.value));
        }
        return abbrev.u8(0), abbrev.u8(0), it->second;
    }

    void die(const Die& d, uint32_t unitStart, AbbrevCodes& codes) {
        if (!d.label.empty() && !out.dieOffsets.emplace(d.label, static_cast<uint32_t>(info.size())).second)
            throw std::invalid_argument("DIE label used twice: " + d.label);
        const bool children = d.childrenFlag || !d.children.empty();
        info.uleb(abbrev_code(d, children, codes));
        for (const Attr& a : d.attrs) value(a, unitStart);
        for (const Die& c : d.children) die(c, unitStart, codes);
        if (children) info.u8(0);  // ends the sibling chain
    }

    void unit(const CompileUnit& u, uint32_t lineOffset) {
        Die root = u.root;
        if (u.hasLines && !has_attr(root, DW_AT_stmt_list))
            root.attrs.push_back(
                constant(DW_AT_stmt_list, lineOffset, version >= 4 ? DW_FORM_sec_offset : DW_FORM_data4));
        if (uses_strx(root) && !has_attr(root, DW_AT_str_offsets_base))
            root.attrs.push_back(sec_offset(DW_AT_str_offsets_base, 8));  // just past the table header
        const uint32_t start = static_cast<uint32_t>(info.size());
        out.unitOffsets.push_back(start);
        out.abbrevOffsets.push_back(static_cast<uint32_t>(abbrev.size()));
        info.u32(0), info.u16(version);  // unit_length, patched below
        if (version >= 5) info.u8(u.unitType), info.u8(addrSize), info.u32(abbrev.size());
        else info.u32(abbrev.size()), info.u8(addrSize);
        AbbrevCodes codes;
        die(root, start, codes);
        abbrev.u8(0);  // ends the unit's abbreviation table
        info.put32(start, static_cast<uint32_t>(info.size() - start - 4));
    }

    void line_tables(const LineProgram& p, uint16_t v) {
        const auto path = [&](const std::string& s) {
            return p.pathForm == DW_FORM_line_strp ? line.u32(lineStr.add(s)) : line.str(s);
        };
        if (v < 5) {  // NUL-terminated lists
            for (const auto& d : p.dirs) line.str(d);
            line.u8(0);
            for (const auto& f : p.files) line.str(f.name), line.uleb(f.dir), line.uleb(f.mtime), line.uleb(f.length);
            return line.u8(0);
        }
        // Entry formats (content type, form pairs), then the counted entries.
        line.u8(1), line.uleb(DW_LNCT_path), line.uleb(p.pathForm), line.uleb(p.dirs.size());
        for (const auto& d : p.dirs) path(d);
        line.u8(2), line.uleb(DW_LNCT_path), line.uleb(p.pathForm);
        line.uleb(DW_LNCT_directory_index), line.uleb(DW_FORM_udata), line.uleb(p.files.size());
        for (const auto& f : p.files) path(f.name), line.uleb(f.dir);
    }

    void line_step(const LineProgram& p, const LineProgram::Step& s) {
        if (s.op == LineProgram::kSpecial) return line.u8(special_opcode(p, s.u, s.s));
        if (s.op == 0) return line.raw(s.raw);
        if (s.op >= LineProgram::kExtended) {  // 0, length, opcode, operands
            const bool addr = s.op == LineProgram::kExtended + LNE_set_address;
            line.u8(0), line.uleb(addr ? 1u + addrSize : 1u), line.u8(s.op - LineProgram::kExtended);
            return addr ? line.un(s.u, addrSize) : void();
        }
        line.u8(s.op);
        if (s.op == LNS_advance_line) line.sleb(s.s);
        if (s.op == LNS_fixed_advance_pc) line.u16(s.u);
        if (s.op == LNS_advance_pc || s.op == LNS_set_file) line.uleb(s.u);
    }

    uint32_t line_program(const LineProgram& p) {
        const uint16_t v = p.version ? p.version : version;
        const uint32_t start = static_cast<uint32_t>(line.size());
        line.u32(0), line.u16(v);  // unit_length, patched below
        if (v >= 5) line.u8(addrSize), line.u8(0);  // segment_selector_size
        const size_t headerLengthAt = line.size();
        line.u32(0), line.u8(p.minInstLength);
        if (v >= 4) line.u8(p.maxOps);
        line.u8(p.defaultIsStmt), line.u8(static_cast<uint8_t>(p.lineBase));
        line.u8(p.lineRange), line.u8(p.opcodeBase);
        const std::vector<uint8_t>& lengths =
            p.opcodeLengths.empty() ? std::vector<uint8_t>(kStandardLengths, kStandardLengths + 12) : p.opcodeLengths;
        for (size_t i = 0; i + 1 < p.opcodeBase; ++i) line.u8(i < lengths.size() ? lengths[i] : 0);
        line_tables(p, v);
        line.put32(headerLengthAt, static_cast<uint32_t>(line.size() - headerLengthAt - 4));
        for (const auto& s : p.steps) line_step(p, s);
        line.put32(start, static_cast<uint32_t>(line.size() - start - 4));
        return start;
    }
};

}  // namespace

uint32_t DwarfBuilder::add_range_list(const std::vector<RangeEntry>& entries) {
    ByteWriter& w = ranges_;
    const uint32_t at = static_cast<uint32_t>(w.size()) + (version_ >= 5 ? 12 : 0);  // past the header
    const uint64_t allOnes = addrSize_ >= 8 ? ~0ull : (1ull << (8 * addrSize_)) - 1;
    for (const RangeEntry& e : entries) {
        if (version_ < 5) {  // begin and end, or the base address selection entry
            const bool base = e.kind == DW_RLE_base_address;
            w.un(base ? allOnes : e.a, addrSize_);
            w.un(base ? e.a : e.kind == DW_RLE_start_length ? e.a + e.b : e.b, addrSize_);
            continue;
        }
        w.u8(e.kind);
        if (e.kind == DW_RLE_offset_pair) w.uleb(e.a), w.uleb(e.b);
        else w.un(e.a, addrSize_);
        if (e.kind == DW_RLE_start_end) w.un(e.b, addrSize_);
        if (e.kind == DW_RLE_start_length) w.uleb(e.b);
    }
    if (version_ < 5) w.un(0, addrSize_), w.un(0, addrSize_);
    else w.u8(DW_RLE_end_of_list);
    return at;
}

DebugSections DwarfBuilder::sections() const {
    std::map<std::string, uint32_t> labels;
    for (int pass = 0; pass < 8; ++pass) {
        Encoder e{big_, version_, addrSize_, labels};
        for (const CompileUnit& u : units_) e.out.lineOffsets.push_back(u.hasLines ? e.line_program(u.line) : 0);
        for (size_t i = 0; i < units_.size(); ++i) e.unit(units_[i], e.out.lineOffsets[i]);
        if (e.out.dieOffsets != labels) {
            labels = e.out.dieOffsets;
            continue;
        }
        if (!e.missing.empty()) throw std::invalid_argument("reference to no DIE: " + *e.missing.begin());
        DebugSections& s = e.out;
        s.info = e.info.bytes, s.abbrev = e.abbrev.bytes, s.line = e.line.bytes;
        s.str = e.str.w.bytes, s.lineStr = e.lineStr.w.bytes;
        if (!e.strxIndex.empty()) {  // unit_length, version 5, padding, the offsets
            ByteWriter w{big_};
            w.u32(4 + e.strOffsets.size()), w.u16(5), w.u16(0), w.raw(e.strOffsets.bytes);
            s.strOffsets = w.bytes;
        }
        if (version_ < 5) s.ranges = ranges_.bytes;
        else if (ranges_.size()) {  // unit_length, version, address size, segment selector size, no offset table
            ByteWriter w{big_};
            w.u32(8 + ranges_.size()), w.u16(5), w.u8(addrSize_), w.u8(0), w.u32(0), w.raw(ranges_.bytes);
            s.rnglists = w.bytes;
        }
        return s;
    }
    throw std::logic_error("DIE offsets did not settle");
}

namespace {

std::vector<uint8_t> zlib_stream(const std::vector<uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> zstd_frame(const std::vector<uint8_t>& data) {
#ifdef DRAVONT_HAVE_ZSTD
    std::vector<uint8_t> out(ZSTD_compressBound(data.size()));
    const size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 19);
    if (ZSTD_isError(size)) throw std::runtime_error(ZSTD_getErrorName(size));
    out.resize(size);
    return out;
#else
    // Magic number; a single-segment frame with a 4-byte content size; then
    // raw blocks of at most 128 KiB, each with a 3-byte header (last-block
    // flag, type 0, size).
    ByteWriter w{false};
    w.u32(0xFD2FB528), w.u8(0xA0), w.u32(data.size());
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(data.size() - at, 128 * 1024);
        const bool last = at + n == data.size();
        w.un(n << 3 | (last ? 1 : 0), 3);
        w.bytes.insert(w.bytes.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < data.size());
    return w.bytes;
#endif
}

}  // namespace

std::vector<uint8_t> pack_section(const std::vector<uint8_t>& data, Packing packing, bool bigEndian) {
    if (packing == Packing::Plain) return data;
    ByteWriter w{bigEndian};
    if (packing == Packing::ZlibGnu) {
        w.raw({'Z', 'L', 'I', 'B'});
        w.bigEndian = true, w.un(data.size(), 8);
        w.raw(zlib_stream(data));
        return w.bytes;
    }
    w.u32(packing == Packing::Zlib ? 1 : 2), w.u32(data.size()), w.u32(1);  // ch_type, ch_size, ch_addralign
    w.raw(packing == Packing::Zlib ? zlib_stream(data) : zstd_frame(data));
    return w.bytes;
}

void add_debug_sections(ElfBuilder& elf, const DebugSections& s, Packing packing) {
    const std::pair<const char*, const std::vector<uint8_t>*> all[] = {
        {".debug_info", &s.info}, {".debug_abbrev", &s.abbrev}, {".debug_line", &s.line}, {".debug_str", &s.str},
        {".debug_line_str", &s.lineStr}, {".debug_str_offsets", &s.strOffsets}, {".debug_ranges", &s.ranges},
        {".debug_rnglists", &s.rnglists}};
    for (const auto& [name, data] : all) {
        if (data->empty()) continue;
        const bool strings = data == &s.str || data == &s.lineStr;  // SHF_MERGE | SHF_STRINGS, 1-byte characters
        uint32_t flags = strings ? 0x30u : 0u;
        if (packing == Packing::Zlib || packing == Packing::Zstd) flags |= 0x800;  // SHF_COMPRESSED
        const std::string stored = packing == Packing::ZlibGnu ? std::string(".z") + (name + 1) : name;
        elf.add_section({stored, 1, flags, 0, pack_section(*data, packing, elf.big_endian()), 0, 0, 1, strings ? 1u : 0u});
    }
}

}  // namespace elf_test
