#include "support/elf_samples.h"

#include <cstdio>
#include <functional>

#include "support/elf_builder.h"

namespace elf_test {

namespace {

constexpr uint16_t DW_AT_entry_pc = 0x52;
constexpr uint16_t kRestrictType = 0x37;  // DW_TAG_restrict_type

// Forms that exist in every version, and those that changed.
struct Forms {
    uint8_t version;
    uint16_t str() const { return version == 5 ? DW_FORM_strx1 : version == 4 ? DW_FORM_strp : DW_FORM_string; }
    uint16_t expr() const { return version >= 4 ? DW_FORM_exprloc : DW_FORM_block1; }
    uint16_t flag() const { return version >= 4 ? DW_FORM_flag_present : DW_FORM_flag; }
    uint16_t offset() const { return version >= 4 ? DW_FORM_sec_offset : DW_FORM_data4; }
};

Die die(uint16_t tag, std::vector<Attr> attrs, std::vector<Die> children = {}, std::string label = {}) {
    Die d;
    d.tag = tag;
    d.attrs = std::move(attrs);
    d.children = std::move(children);
    d.label = std::move(label);
    return d;
}

std::vector<uint8_t> addr_expr(uint32_t a, bool big, std::vector<uint8_t> tail = {}) {
    std::vector<uint8_t> e = {DW_OP_addr};
    for (int i = 0; i < 4; ++i) e.push_back(static_cast<uint8_t>(a >> (big ? 24 - 8 * i : 8 * i)));
    e.insert(e.end(), tail.begin(), tail.end());
    return e;
}

// A function's low and high pc: the high pc is an address before DWARF 4,
// a length from then on.
void add_pcs(Die& d, const Forms& f, uint32_t low, uint32_t high) {
    d.attrs.push_back(address(DW_AT_low_pc, low));
    d.attrs.push_back(f.version >= 4 ? constant(DW_AT_high_pc, high - low, DW_FORM_data4)
                                     : address(DW_AT_high_pc, high));
}

std::vector<Die> base_types(const Forms& f) {
    auto base = [&](const char* name, uint8_t size, uint8_t enc, const char* label) {
        return die(DW_TAG_base_type, {text(DW_AT_name, name, f.str()), constant(DW_AT_byte_size, size, DW_FORM_data1),
                                      constant(DW_AT_encoding, enc, DW_FORM_data1)}, {}, label);
    };
    auto link = [&](uint16_t tag, const char* to, const char* label) {
        return die(tag, {ref(DW_AT_type, to)}, {}, label);
    };
    return {
        base("short int", 2, DW_ATE_signed, "short"),
        base("char", 1, DW_ATE_signed_char, "char"),
        base("long int", 4, DW_ATE_signed, "long"),
        base("float", 4, DW_ATE_float, "float"),
        base("double", 8, DW_ATE_float, "double"),
        base("short unsigned int", 2, DW_ATE_unsigned, "ushort"),
        die(DW_TAG_structure_type, {text(DW_AT_name, "cfg", f.str()), constant(DW_AT_byte_size, 8, DW_FORM_data1)},
            {}, "struct"),
        die(DW_TAG_typedef, {text(DW_AT_name, "cfg_t", f.str()), ref(DW_AT_type, "struct")}, {}, "cfg_t"),
        link(DW_TAG_const_type, "char", "const_char"),
        link(kRestrictType, "const_char", "restrict_char"),
        link(DW_TAG_pointer_type, "restrict_char", "ptr_char"),
        die(DW_TAG_pointer_type, {ref(DW_AT_type, "ptr_char", DW_FORM_ref_udata)}, {}, "ptr_ptr_char"),
        die(DW_TAG_array_type, {ref(DW_AT_type, "long")},
            {die(DW_TAG_subrange_type, {constant(DW_AT_upper_bound, 3, DW_FORM_data1)})}, "array_long"),
        link(DW_TAG_const_type, "double", "const_double"),
        link(DW_TAG_volatile_type, "ushort", "volatile_ushort"),
    };
}

Die variable(const Forms& f, bool big, const char* name, uint32_t addr, const char* type, bool external) {
    Die d = die(DW_TAG_variable, {text(DW_AT_name, name, f.str()), ref(DW_AT_type, type),
                                  block(DW_AT_location, addr_expr(addr, big), f.expr())});
    if (external) d.attrs.push_back(flag(DW_AT_external, true, f.flag()));
    return d;
}

Die sample_unit(bool big, const Forms& f, uint32_t splitRanges) {
    std::vector<Die> top = base_types(f);
    Die main = die(DW_TAG_subprogram, {text(DW_AT_name, "main", f.str()), flag(DW_AT_external, true, f.flag()),
                                       ref(DW_AT_type, "short")});
    add_pcs(main, f, 0x1000, 0x1020);
    main.children = {
        variable(f, big, "count", 0x2000, "long", false),
        die(DW_TAG_variable, {text(DW_AT_name, "local", f.str()), ref(DW_AT_type, "long"),
                              block(DW_AT_location, {DW_OP_fbreg, 0x7c}, f.expr())}),
        die(DW_TAG_variable, {text(DW_AT_name, "folded", f.str()), ref(DW_AT_type, "long"),
                              block(DW_AT_location, addr_expr(0x2100, big, {0x9f}), f.expr())}),
    };
    top.push_back(main);

    Die bump = die(DW_TAG_subprogram, {text(DW_AT_name, "bump", f.str())});
    add_pcs(bump, f, 0x1020, 0x1030);
    Die inner = die(DW_TAG_lexical_block, {}, {variable(f, big, "deep", 0x2008, "volatile_ushort", false)});
    bump.children = {variable(f, big, "hits", 0x2004, "char", false), die(DW_TAG_lexical_block, {}, {inner})};
    top.push_back(bump);

    top.push_back(die(DW_TAG_subprogram, {text(DW_AT_name, "helper", f.str()), constant(DW_AT_inline, 3, DW_FORM_data1)},
                      {variable(f, big, "inl_state", 0x200C, "float", false)}));
    top.push_back(variable(f, big, "table", 0x2010, "array_long", true));
    top.push_back(variable(f, big, "names", 0x2020, "ptr_ptr_char", true));
    top.push_back(variable(f, big, "cfg", 0x2030, "cfg_t", true));
    top.push_back(variable(f, big, "ratio", 0x2040, "const_double", true));

    // Declared, then defined through DW_AT_specification; the second keeps
    // its declaration inside a structure and names itself by linkage name.
    top.push_back(die(DW_TAG_variable, {text(DW_AT_name, "flags", f.str()), ref(DW_AT_type, "ushort"),
                                        flag(DW_AT_external, true, f.flag()), flag(DW_AT_declaration, true, f.flag())},
                      {}, "flags_decl"));
    top.push_back(die(DW_TAG_variable, {ref(DW_AT_specification, "flags_decl", DW_FORM_ref_addr),
                                        block(DW_AT_location, addr_expr(0x2048, big), f.expr())}));
    top.push_back(die(DW_TAG_structure_type, {text(DW_AT_name, "holder", f.str()), constant(DW_AT_byte_size, 1, DW_FORM_data1)},
                      {die(DW_TAG_variable, {text(DW_AT_name, "m", f.str()),
                                             text(DW_AT_linkage_name, "member_defined_via_spec", f.str()),
                                             ref(DW_AT_type, "char"), flag(DW_AT_external, true, f.flag()),
                                             flag(DW_AT_declaration, true, f.flag())}, {}, "member_decl")}));
    top.push_back(die(DW_TAG_variable, {ref(DW_AT_specification, "member_decl"),
                                        block(DW_AT_location, addr_expr(0x2050, big), f.expr())}));

    top.push_back(die(DW_TAG_subprogram, {text(DW_AT_name, "split", f.str()), flag(DW_AT_external, true, f.flag()),
                                          ref(DW_AT_type, "short"), constant(DW_AT_ranges, splitRanges, f.offset()),
                                          address(DW_AT_entry_pc, 0x1040)}));
    top.push_back(variable(f, big, "abcdefghijklmnopqrstuvwxyz0123456789", 0x2060, "char", true));
    top.push_back(die(DW_TAG_variable, {text(DW_AT_name, "extern_decl", f.str()), ref(DW_AT_type, "long"),
                                        flag(DW_AT_external, true, f.flag()), flag(DW_AT_declaration, true, f.flag())}));

    return die(DW_TAG_compile_unit,
               {text(DW_AT_name, "src/prog.c", f.str()),
                text(DW_AT_comp_dir, "/w", f.version == 5 ? uint16_t{DW_FORM_line_strp} : f.str()),
                constant(DW_AT_language, DW_LANG_C99, DW_FORM_data1), address(DW_AT_low_pc, 0)},
               std::move(top));
}

LineProgram sample_lines(uint8_t version) {
    LineProgram p;
    if (version == 5) {
        p.dirs = {"/w", "src", "include"};
        p.files = {{"src/prog.c", 0}, {"prog.c", 1}, {"prog.h", 2}};
        p.pathForm = DW_FORM_line_strp;
    } else {
        p.dirs = {"src", "include"};
        p.files = {{"prog.c", 1}, {"prog.h", 2}};
    }
    p.set_address(0x1000).set_file(1).advance_line(9).copy();  // main, line 10
    p.advance_line(1).copy();                                   // 0x1000 again
    p.special(4, 0).special(0, 1);                              // two rows at 0x1004
    p.special(6, 2);                                            // 0x100A, 14
    p.advance_line(-14).special(2, 0);                          // line 0
    p.advance_pc(20).advance_line(30).copy();                   // bump at 0x1020, 30
    p.set_file(2).advance_line(-10).special(2, 0);              // a header's row
    p.set_file(1).advance_line(13).special(4, 0);               // 0x1026, 33
    p.advance_line(-33).special(2, 0);                          // line 0
    p.advance_pc(24).advance_line(50).copy();                   // split's entry, 0x1040
    p.special(4, 1);                                            // 0x1044, 51
    p.advance_pc(4).end_sequence();
    p.set_address(0x1100).advance_line(54).copy();              // split's other part, 55
    p.advance_pc(4).end_sequence();
    return p;
}

ElfBuilder sample_elf(bool big, uint16_t machine, const DebugSections& sections, Packing packing = Packing::Plain) {
    ElfBuilder elf(big, machine);
    elf.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(0x108, 0)});
    add_debug_sections(elf, sections, packing);
    elf.add_section({".data", 1, 3, 0x2000, std::vector<uint8_t>(0x100, 0)});  // the variables
    elf.add_symbol({"_main", 0x1000});
    elf.add_symbol({"_split", 0x1040});
    return elf;
}

std::vector<uint8_t> wrap(bool big, uint16_t machine, const DebugSections& sections) {
    return sample_elf(big, machine, sections).build();
}

DebugSections sample_sections(bool big, uint8_t version) {
    const Forms f{version};
    DwarfBuilder dwarf(big, version);
    const uint32_t ranges = dwarf.add_range_list({{DW_RLE_start_end, 0x1100, 0x1104}, {DW_RLE_start_end, 0x1040, 0x1048}});
    dwarf.add_unit(sample_unit(big, f, ranges), sample_lines(version));
    return dwarf.sections();
}

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The sample with one change to its bytes.
std::vector<uint8_t> patched(const std::function<void(std::vector<uint8_t>&)>& change) {
    std::vector<uint8_t> b = sample_program(true, 46, 4);
    change(b);
    return b;
}

// The sample with one change to its DWARF sections.
std::vector<uint8_t> patched_dwarf(const std::function<void(DebugSections&)>& change,
                                   Packing packing = Packing::Plain) {
    DebugSections s = sample_sections(true, 4);
    change(s);
    return sample_elf(true, 46, s, packing).build();
}

// The section header of the sample's .debug_info (section 2, after .text).
size_t debug_info_header() {
    return sample_elf(true, 46, sample_sections(true, 4)).layout().section_header(2);
}

// The sample with its debug sections compressed and one change to the
// stored bytes of .debug_info (section 2): the header, then the stream.
std::vector<uint8_t> packed_info(Packing packing, const std::function<void(std::vector<uint8_t>&)>& change) {
    ElfBuilder elf = sample_elf(true, 46, sample_sections(true, 4), packing);
    change(elf.section(2).data);
    return elf.build();
}

// Flips the bits of the stored byte `back` bytes before the end.
auto flip_from_end(size_t back) {
    return [back](std::vector<uint8_t>& b) { b[b.size() - back] ^= 0xFF; };
}

// What a broken zstd section gives: its own fault where the build reads zstd,
// the refusal of zstd where it does not.
std::string zstd_fault(const std::string& fault) {
#ifdef DRAVONT_HAVE_ZSTD
    return fault;
#else
    (void)fault;
    return "--compress-debug-sections=zlib";
#endif
}

Die nested_blocks(int depth) {
    Die d = die(DW_TAG_lexical_block, {});
    d.childrenFlag = true;
    for (int i = 1; i < depth; ++i) {
        std::vector<Die> inside;
        inside.push_back(std::move(d));
        d = die(DW_TAG_lexical_block, {}, std::move(inside));
    }
    return d;
}

}  // namespace

// A unit of its own around `children`, for the DWARF faults.
std::vector<uint8_t> unit_with(std::vector<Die> children, uint8_t version) {
    DwarfBuilder dwarf(true, version);
    std::vector<Die> top = {die(DW_TAG_base_type, {text(DW_AT_name, "int", DW_FORM_string),
                                                   constant(DW_AT_byte_size, 2, DW_FORM_data1),
                                                   constant(DW_AT_encoding, DW_ATE_signed, DW_FORM_data1)}, {}, "int")};
    top.insert(top.end(), children.begin(), children.end());
    dwarf.add_unit(die(DW_TAG_compile_unit, {text(DW_AT_name, "prog.c", DW_FORM_string)}, std::move(top)),
                   sample_lines(version));
    return wrap(true, 46, dwarf.sections());
}

std::vector<uint8_t> sample_program(bool bigEndian, uint16_t machine, uint8_t version, Packing packing) {
    return sample_builder(bigEndian, machine, version, packing).build();
}

ElfBuilder sample_builder(bool bigEndian, uint16_t machine, uint8_t version, Packing packing) {
    return sample_elf(bigEndian, machine, sample_sections(bigEndian, version), packing);
}

std::vector<BrokenImage> broken_images() {
    const char* loop = "loops";
    // The size of the sample's .debug_info, as the messages spell it.
    const uint32_t info = static_cast<uint32_t>(sample_sections(true, 4).info.size());
    auto hex = [](uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(v));
        return std::string(text);
    };
    auto declare = [](uint32_t size) { return [size](std::vector<uint8_t>& b) { put32(b, 4, size); }; };
    return {
        {"64-bit class", patched([](auto& b) { b[4] = 2; }), "EI_CLASS=2"},
        {"relocatable object", patched([](auto& b) { put16(b, 16, 1); }), "e_type=1"},
        {"other machine", patched([](auto& b) { put16(b, 18, 3); }), "e_machine=3"},
        {"section table past the end", patched([](auto& b) { put32(b, 32, 0xFFFFFF00u); }), "section header"},
        {"truncated section table", patched([](auto& b) { b.resize(b.size() - 20); }), "section header"},
        {".debug_info past the end",
         patched([](auto& b) { put32(b, debug_info_header() + 16, 0xFFFFFF00u); }), "data of section .debug_info"},
        {"compressed .debug_info",
         patched([](auto& b) { put32(b, debug_info_header() + 8, 0x800); }), "compressed section .debug_info"},
        {"64-bit DWARF unit", patched_dwarf([](auto& s) { put32(s.info, 0, 0xFFFFFFFFu); }), "64-bit DWARF"},
        {"DWARF version 6", patched_dwarf([](auto& s) { put16(s.info, 4, 6); }), "DWARF version 6"},
        {"unit longer than its section", patched_dwarf([](auto& s) { put32(s.info, 0, 0x00FFFFFFu); }), "unit length"},
        {"abbreviation offset past the end", patched_dwarf([](auto& s) { put32(s.info, 6, 0x00FFFFFFu); }),
         "abbreviation table"},
        {"abbreviation code missing", patched_dwarf([](auto& s) { s.info[11] = 0x7F; }), "abbreviation code"},
        {"line table past the end", patched_dwarf([](auto& s) { s.line.resize(20); }), ".debug_line"},
        {"string offset past the end", patched_dwarf([](auto& s) { s.str.resize(3); }), "string"},
        {"origin refers to itself",
         unit_with({die(DW_TAG_subprogram, {ref(DW_AT_abstract_origin, "self"), address(DW_AT_low_pc, 0x1000)}, {}, "self")}),
         loop},
        {"typedef refers to itself",
         unit_with({die(DW_TAG_typedef, {text(DW_AT_name, "t", DW_FORM_string), ref(DW_AT_type, "td")}, {}, "td"),
                    die(DW_TAG_variable, {text(DW_AT_name, "v", DW_FORM_string), ref(DW_AT_type, "td"),
                                          block(DW_AT_location, addr_expr(0x2000, true))})}),
         loop},
        {"reference outside the unit",
         unit_with({die(DW_TAG_variable, {text(DW_AT_name, "v", DW_FORM_string), raw(DW_AT_type, DW_FORM_ref4, {0x00, 0xFF, 0xFF, 0xFF}),
                                          block(DW_AT_location, addr_expr(0x2000, true))})}),
         "reference to DIE"},
        {"unknown form", unit_with({die(DW_TAG_variable, {raw(DW_AT_name, 0x7F, {})})}), "unknown attribute form"},
        {"endless DW_FORM_indirect",
         unit_with({die(DW_TAG_variable, {raw(DW_AT_name, DW_FORM_indirect, {0x16, 0x16, 0x16, 0x16, 0x16, 0x08, 0x61, 0})})}),
         "DW_FORM_indirect"},
        {"DIE tree deeper than the bound", unit_with({nested_blocks(5000)}), "DIE nesting deeper"},
        {"type signature no type unit holds",
         unit_with({die(DW_TAG_variable, {text(DW_AT_name, "v", DW_FORM_string),
                                          raw(DW_AT_type, 0x20 /* DW_FORM_ref_sig8 */, {1, 2, 3, 4, 5, 6, 7, 8}),
                                          block(DW_AT_location, addr_expr(0x2000, true))})}),
         "type signature 0x102030405060708 that no type unit holds"},
        // Compressed sections (the header is 12 bytes in each layout, the
        // declared size at byte 4).
        {"declared size past the ratio bound",
         packed_info(Packing::Zlib, [](auto& b) { put32(b, 4, 0x100000u); }),
         "compressed section .debug_info, declared size 0x100000 more than 1032 times"},
        {"declared size past the cap", packed_info(Packing::Zlib, [](auto& b) { put32(b, 4, 0xFFFFFFF0u); }),
         "compressed section .debug_info, declared size 0xfffffff0 takes the inflated sections past 0x40000000"},
        {"zlib stream corrupt", packed_info(Packing::Zlib, flip_from_end(1)),
         "compressed section .debug_info, corrupt zlib stream (incorrect data check)"},
        {"zlib stream short",
         packed_info(Packing::Zlib, [](auto& b) { b.resize(b.size() - 8); }),
         "compressed section .debug_info, zlib stream ends early at inflated offset"},
        {"zlib stream inflates to less than declared", packed_info(Packing::Zlib, declare(info + 1)),
         "compressed section .debug_info, zlib stream inflates to " + hex(info) + " bytes, declared " + hex(info + 1)},
        {"zlib stream inflates to more than declared", packed_info(Packing::Zlib, declare(info - 8)),
         "compressed section .debug_info, zlib stream inflates past its declared size " + hex(info - 8)},
        {"unknown compression type", packed_info(Packing::Zlib, [](auto& b) { put32(b, 0, 7); }),
         "compressed section .debug_info, unknown compression type 0x7"},
        {"compression header cut short", packed_info(Packing::Zlib, [](auto& b) { b.resize(10); }),
         "compressed section .debug_info, header shorter than 12 bytes"},
        {".zdebug_ without ZLIB", packed_info(Packing::ZlibGnu, [](auto& b) { b[3] = 'X'; }),
         "compressed section .zdebug_info, no \"ZLIB\" header"},
        {".zdebug_ stream corrupt", packed_info(Packing::ZlibGnu, [](auto& b) { b[12] ^= 0xFF; }),
         "compressed section .zdebug_info, corrupt zlib stream (incorrect header check)"},
        // A fault found in inflated data is placed in it.
        {"unit longer than its inflated section",
         patched_dwarf([](auto& s) { put32(s.info, 0, 0x00FFFFFFu); }, Packing::Zlib),
         ".debug_info (inflated), unit length at 0x0: offset 0x00000000, file size"},
        {"zstd frame corrupt", packed_info(Packing::Zstd, [](auto& b) { b[12] ^= 0xFF; }),
         zstd_fault("compressed section .debug_info, corrupt zstd stream (Unknown frame descriptor)")},
        {"zstd frame short", packed_info(Packing::Zstd, [](auto& b) { b.resize(b.size() - 8); }),
         zstd_fault("compressed section .debug_info, zstd stream ends early at inflated offset")},
        {"zstd frame holds less than declared", packed_info(Packing::Zstd, declare(info + 1)),
         zstd_fault("compressed section .debug_info, zstd frame holds " + hex(info) + " bytes, declared " +
                    hex(info + 1))},
        // No ratio bound for zstd: its frame tells the size.
        {"zstd frame holds less than a size past the ratio bound", packed_info(Packing::Zstd, declare(0x100000)),
         zstd_fault("compressed section .debug_info, zstd frame holds " + hex(info) + " bytes, declared 0x100000")},
    };
}

}  // namespace elf_test
