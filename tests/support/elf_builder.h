// Writes ELF32 executables with DWARF debugging information for tests, in
// either byte order: the ELF header, sections, .symtab/.strtab and the section
// header table; .debug_info/.debug_abbrev from DIE trees, the string
// sections, range lists, and .debug_line from lists of line-program steps.
// DWARF 2 to 5, 32-bit DWARF format only. The debug sections can be stored
// compressed as linkers write them. Tests that need malformed input patch
// the section bytes or the built image at the offsets reported here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace elf_test {

std::vector<uint8_t> uleb128(uint64_t value);
std::vector<uint8_t> sleb128(int64_t value);

// Appends integers in one byte order.
struct ByteWriter {
    bool bigEndian;
    std::vector<uint8_t> bytes{};
    void un(uint64_t value, size_t size);  // the low `size` bytes, zero-extended past 8
    void u8(uint64_t v) { un(v, 1); }
    void u16(uint64_t v) { un(v, 2); }
    void u32(uint64_t v) { un(v, 4); }
    void uleb(uint64_t v) { raw(uleb128(v)); }
    void sleb(int64_t v) { raw(sleb128(v)); }
    void str(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()), bytes.push_back(0); }
    void raw(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void put32(size_t at, uint32_t v);  // overwrites 4 bytes already written
    size_t size() const { return bytes.size(); }
};

// ---- ELF container

struct ElfSection {
    std::string name{};
    uint32_t type = 1;  // SHT_PROGBITS; SHT_NOBITS (8) takes no file space, its size is data.size()
    uint32_t flags = 0, addr = 0;
    std::vector<uint8_t> data{};
    uint32_t link = 0, info = 0, align = 1, entsize = 0;
};

struct ElfSymbol {
    std::string name{};
    uint32_t value = 0, size = 0;
    uint8_t info = 0x12;  // STB_GLOBAL << 4 | STT_FUNC
    uint16_t shndx = 1;
};

// Where build() puts things, for tests that corrupt images.
struct ElfLayout {
    std::vector<uint32_t> offsets{};  // file offset of each section's data, by section index
    uint32_t shoff = 0, fileSize = 0;
    uint16_t shnum = 0, shstrndx = 0, symtabIndex = 0, strtabIndex = 0;  // 0: no symbols
    uint32_t section_header(size_t index) const { return shoff + 40 * static_cast<uint32_t>(index); }
};

class ElfBuilder {
public:
    // `elfClass` only fills e_ident[EI_CLASS]: the layout is always ELF32, so
    // another value makes a deliberately inconsistent file.
    ElfBuilder(bool bigEndian, uint16_t machine, uint16_t type = 2, uint8_t elfClass = 1)
        : big_(bigEndian), machine_(machine), type_(type), class_(elfClass) {}
    uint32_t entry = 0, flags = 0;  // e_entry, e_flags
    bool big_endian() const { return big_; }

    // Returns the section's index: the added sections come first, from 1.
    size_t add_section(ElfSection s) { return sections_.push_back(std::move(s)), sections_.size(); }
    // An added section by its index, to change before building.
    ElfSection& section(size_t index) { return sections_.at(index - 1); }
    size_t section_count() const { return sections_.size(); }
    // Into .symtab/.strtab, written only when a symbol was added; local
    // symbols are moved before the others, as the format requires.
    void add_symbol(ElfSymbol s) { symbols_.push_back(std::move(s)); }

    // ELF header (no program headers), the sections' data in index order,
    // each aligned, then .symtab, .strtab, .shstrtab and the section header table.
    std::vector<uint8_t> build() const;
    ElfLayout layout() const;

private:
    std::vector<ElfSection> all_sections() const;  // null, added, .symtab, .strtab, .shstrtab
    bool big_;
    uint16_t machine_, type_;
    uint8_t class_;
    std::vector<ElfSection> sections_;
    std::vector<ElfSymbol> symbols_;
};

// ---- DWARF constants tests use

enum Form : uint16_t {
    DW_FORM_addr = 0x01, DW_FORM_block2 = 0x03, DW_FORM_block4 = 0x04, DW_FORM_data2 = 0x05, DW_FORM_data4 = 0x06,
    DW_FORM_data8 = 0x07, DW_FORM_string = 0x08, DW_FORM_block = 0x09, DW_FORM_block1 = 0x0a, DW_FORM_data1 = 0x0b,
    DW_FORM_flag = 0x0c, DW_FORM_sdata = 0x0d, DW_FORM_strp = 0x0e, DW_FORM_udata = 0x0f, DW_FORM_ref_addr = 0x10,
    DW_FORM_ref1 = 0x11, DW_FORM_ref2 = 0x12, DW_FORM_ref4 = 0x13, DW_FORM_ref8 = 0x14, DW_FORM_ref_udata = 0x15,
    DW_FORM_indirect = 0x16, DW_FORM_sec_offset = 0x17, DW_FORM_exprloc = 0x18, DW_FORM_flag_present = 0x19,
    DW_FORM_strx = 0x1a, DW_FORM_addrx = 0x1b, DW_FORM_data16 = 0x1e, DW_FORM_line_strp = 0x1f,
    DW_FORM_implicit_const = 0x21, DW_FORM_rnglistx = 0x23, DW_FORM_strx1 = 0x25, DW_FORM_strx2 = 0x26,
    DW_FORM_strx3 = 0x27, DW_FORM_strx4 = 0x28,
};
enum : uint16_t {
    DW_TAG_array_type = 0x01, DW_TAG_enumeration_type = 0x04, DW_TAG_formal_parameter = 0x05,
    DW_TAG_lexical_block = 0x0b, DW_TAG_member = 0x0d, DW_TAG_pointer_type = 0x0f, DW_TAG_compile_unit = 0x11,
    DW_TAG_structure_type = 0x13, DW_TAG_typedef = 0x16, DW_TAG_union_type = 0x17, DW_TAG_inlined_subroutine = 0x1d,
    DW_TAG_subrange_type = 0x21, DW_TAG_base_type = 0x24, DW_TAG_const_type = 0x26, DW_TAG_enumerator = 0x28,
    DW_TAG_subprogram = 0x2e, DW_TAG_variable = 0x34, DW_TAG_volatile_type = 0x35,
};
enum : uint16_t {
    DW_AT_sibling = 0x01, DW_AT_location = 0x02, DW_AT_name = 0x03, DW_AT_byte_size = 0x0b, DW_AT_stmt_list = 0x10,
    DW_AT_low_pc = 0x11, DW_AT_high_pc = 0x12, DW_AT_language = 0x13, DW_AT_comp_dir = 0x1b,
    DW_AT_const_value = 0x1c, DW_AT_inline = 0x20, DW_AT_producer = 0x25, DW_AT_upper_bound = 0x2f,
    DW_AT_abstract_origin = 0x31, DW_AT_count = 0x37, DW_AT_data_member_location = 0x38, DW_AT_decl_file = 0x3a,
    DW_AT_decl_line = 0x3b, DW_AT_declaration = 0x3c, DW_AT_encoding = 0x3e, DW_AT_external = 0x3f,
    DW_AT_frame_base = 0x40, DW_AT_specification = 0x47, DW_AT_type = 0x49, DW_AT_ranges = 0x55,
    DW_AT_linkage_name = 0x6e, DW_AT_str_offsets_base = 0x72,
};
enum : uint8_t {
    DW_ATE_address = 0x1, DW_ATE_boolean = 0x2, DW_ATE_float = 0x4, DW_ATE_signed = 0x5, DW_ATE_signed_char = 0x6,
    DW_ATE_unsigned = 0x7, DW_ATE_unsigned_char = 0x8, DW_OP_addr = 0x03, DW_OP_plus_uconst = 0x23,
    DW_OP_fbreg = 0x91, DW_LANG_C89 = 0x01, DW_LANG_C = 0x02, DW_LANG_C_plus_plus = 0x04, DW_LANG_C99 = 0x0c,
    DW_UT_compile = 0x01, DW_RLE_end_of_list = 0, DW_RLE_offset_pair = 4, DW_RLE_base_address = 5,
    DW_RLE_start_end = 6, DW_RLE_start_length = 7,
};

// ---- DIE trees

// One attribute. The form picks the member that carries the value: `value`
// for constants, addresses, flags, sec_offset and implicit_const (two's
// complement when signed); `text` for strings; `target`, a DIE label, for
// references; `block` for block and exprloc forms. With `raw` set, `block`
// is written as the value whatever the form (unknown forms, odd encodings).
struct Attr {
    uint16_t at = 0, form = 0;
    uint64_t value = 0;
    std::string text{}, target{};
    std::vector<uint8_t> block{};
    bool raw = false;
};

// form: data1/2/4/8, udata, sdata, implicit_const (in the abbreviation only).
inline Attr constant(uint16_t at, uint64_t v, uint16_t form = DW_FORM_udata) { return {at, form, v}; }
inline Attr sconstant(uint16_t at, int64_t v, uint16_t form = DW_FORM_sdata) {
    return {at, form, static_cast<uint64_t>(v)};
}
inline Attr address(uint16_t at, uint64_t v) { return {at, DW_FORM_addr, v}; }  // the unit's address size
inline Attr flag(uint16_t at, bool v = true, uint16_t form = DW_FORM_flag_present) { return {at, form, v}; }
// form: string, strp (.debug_str), line_strp (.debug_line_str), strx, strx1-4
// (.debug_str_offsets, one table for all units; DW_AT_str_offsets_base is
// then added to the unit's root unless present).
inline Attr text(uint16_t at, std::string s, uint16_t form = DW_FORM_string) { return {at, form, 0, std::move(s)}; }
// form: ref1/2/4/8/udata (from the unit's start) or ref_addr (from the start
// of .debug_info, any unit).
inline Attr ref(uint16_t at, std::string label, uint16_t form = DW_FORM_ref4) {
    return {at, form, 0, {}, std::move(label)};
}
// form: block1/2/4, block, exprloc.
inline Attr block(uint16_t at, std::vector<uint8_t> b, uint16_t form = DW_FORM_exprloc) {
    return {at, form, 0, {}, {}, std::move(b)};
}
// DW_FORM_sec_offset exists from version 4; versions 2 and 3 use data4.
inline Attr sec_offset(uint16_t at, uint32_t offset) { return {at, DW_FORM_sec_offset, offset}; }
inline Attr raw(uint16_t at, uint16_t form, std::vector<uint8_t> b) {
    return {at, form, 0, {}, {}, std::move(b), true};
}

struct Die {
    uint16_t tag = 0;
    std::vector<Attr> attrs{};
    std::vector<Die> children{};
    std::string label{};        // the name ref() uses; unique across the builder
    bool childrenFlag = false;  // DW_CHILDREN_yes without children: only the null entry follows
};

// ---- line programs

struct LineFileEntry {
    std::string name{};
    uint64_t dir = 0, mtime = 0, length = 0;  // mtime and length: versions 2-4
};

// A unit's line-number program. The steps are encoded with the header's
// parameters when the sections are built, so those can be set in any order.
struct LineProgram {
    uint16_t version = 0;  // 0: the builder's
    uint8_t minInstLength = 1, maxOps = 1, defaultIsStmt = 1, lineRange = 14, opcodeBase = 13;
    int8_t lineBase = -5;
    std::vector<uint8_t> opcodeLengths{};  // empty: the standard ones, then 0 past opcode 12
    // Versions 2-4: the directories and files from index 1 (directory 0 is
    // the compilation directory, never listed). Version 5: both from index
    // 0, entry 0 being the compilation directory and the primary source file.
    std::vector<std::string> dirs{};
    std::vector<LineFileEntry> files{};
    uint16_t pathForm = DW_FORM_string;  // version 5: DW_FORM_string or DW_FORM_line_strp

    static constexpr int kSpecial = -1, kExtended = 0x100;
    struct Step {
        int op;  // a DW_LNS opcode, kExtended + a DW_LNE opcode, kSpecial, or 0 for raw bytes
        uint64_t u = 0;
        int64_t s = 0;
        std::vector<uint8_t> raw{};
    };
    std::vector<Step> steps{};

    LineProgram& add(Step s) { return steps.push_back(std::move(s)), *this; }
    LineProgram& copy() { return add({1}); }
    LineProgram& advance_pc(uint64_t opAdvance) { return add({2, opAdvance}); }
    LineProgram& advance_line(int64_t d) { return add({3, 0, d}); }
    LineProgram& set_file(uint64_t n) { return add({4, n}); }
    LineProgram& negate_stmt() { return add({6}); }
    LineProgram& const_add_pc() { return add({8}); }
    LineProgram& fixed_advance_pc(uint16_t n) { return add({9, n}); }
    // The special opcode for an operation advance (the address advance over
    // minInstLength) and a line advance; building throws
    // std::invalid_argument when there is none.
    LineProgram& special(uint64_t opAdvance, int64_t lineAdvance) { return add({kSpecial, opAdvance, lineAdvance}); }
    LineProgram& end_sequence() { return add({kExtended + 1}); }
    LineProgram& set_address(uint64_t a) { return add({kExtended + 2, a}); }
    LineProgram& end_sequence(uint64_t a) { return set_address(a).end_sequence(); }
    LineProgram& bytes(std::vector<uint8_t> b) { return add({0, 0, 0, std::move(b)}); }
};

uint8_t special_opcode(const LineProgram& p, uint64_t opAdvance, int64_t lineAdvance);

// ---- DWARF sections

struct RangeEntry {
    uint8_t kind;  // DW_RLE_start_end, offset_pair, start_length or base_address
    uint64_t a = 0, b = 0;
};

struct CompileUnit {
    Die root{};  // DW_TAG_compile_unit
    bool hasLines = false;
    LineProgram line{};  // DW_AT_stmt_list is added to root unless present
    uint8_t unitType = DW_UT_compile;  // version 5
};

// The sections' bytes and where things went in them (section offsets).
struct DebugSections {
    std::vector<uint8_t> info{}, abbrev{}, str{}, lineStr{}, line{}, ranges{}, rnglists{}, strOffsets{};
    std::vector<uint32_t> unitOffsets{}, abbrevOffsets{}, lineOffsets{};  // lineOffsets: 0 without lines
    std::map<std::string, uint32_t> dieOffsets{};  // by label, in .debug_info
};

// How debug sections are stored: as they are; with SHF_COMPRESSED, an
// Elf32_Chdr in the file's byte order and a zlib stream or a zstd frame; or
// as .zdebug_* sections holding "ZLIB", the size in 8 big-endian bytes and a
// zlib stream (ld --compress-debug-sections=none|zlib|zstd|zlib-gnu).
enum class Packing : uint8_t { Plain, Zlib, Zstd, ZlibGnu };

// A section's data as `packing` stores it: the header and the compressed
// bytes. zstd frames come from libzstd where the build has it, and are
// otherwise written with raw (stored) blocks, which every reader accepts.
std::vector<uint8_t> pack_section(const std::vector<uint8_t>& data, Packing packing, bool bigEndian);

// Adds each non-empty section under its .debug_* name, stored as `packing`
// says (renamed .zdebug_* for Packing::ZlibGnu).
void add_debug_sections(ElfBuilder& elf, const DebugSections& s, Packing packing = Packing::Plain);

class DwarfBuilder {
public:
    DwarfBuilder(bool bigEndian, uint8_t version, uint8_t addressSize = 4)
        : big_(bigEndian), version_(version), addrSize_(addressSize), ranges_{bigEndian} {}

    // Each returns the unit's index; abbreviation tables are per unit.
    size_t add_unit(Die root) { return units_.push_back({std::move(root)}), units_.size() - 1; }
    size_t add_unit(Die root, LineProgram line) {
        return units_.push_back({std::move(root), true, std::move(line)}), units_.size() - 1;
    }
    CompileUnit& unit(size_t i) { return units_[i]; }
    // Appends a range list with its terminator and returns its offset for
    // DW_AT_ranges: address pairs in .debug_ranges up to version 4 (a
    // base_address entry becomes the all-ones selection entry), DW_RLE
    // entries in .debug_rnglists from version 5.
    uint32_t add_range_list(const std::vector<RangeEntry>& entries);

    // Throws std::invalid_argument for a reference to an unknown label.
    DebugSections sections() const;
    void add_to(ElfBuilder& elf) const { add_debug_sections(elf, sections()); }

private:
    bool big_;
    uint8_t version_, addrSize_;
    std::vector<CompileUnit> units_;
    ByteWriter ranges_;  // the lists; version 5 puts the .debug_rnglists header before them
};

}  // namespace elf_test
