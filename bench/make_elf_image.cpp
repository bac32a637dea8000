// Writes a synthetic SH ELF executable with DWARF 4 debugging information for
// the benchmark: usage make_elf_image UNITS ENTITIES_PER_UNIT FILE.
//
// Each compile unit holds ENTITIES_PER_UNIT / 2 functions and as many
// variables: external and static functions in turn, each static function
// with a function-scope static variable, the rest file-scope variables, all
// typed by the unit's base types. Its line program gives every function four
// rows. .symtab holds a symbol per function and variable, so the label prefix
// is decided as in a real file (all of them global, which keeps the table
// valid without sorting locals first).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Bytes {
    std::vector<uint8_t> b;
    void u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) { u8(v >> 8); u8(v); }  // big-endian throughout
    void u32(uint32_t v) { u16(v >> 16); u16(v); }
    void uleb(uint64_t v) {
        do {
            uint8_t c = v & 0x7F;
            v >>= 7;
            u8(v ? c | 0x80 : c);
        } while (v);
    }
    void sleb(int64_t v) {
        for (;;) {
            uint8_t c = v & 0x7F;
            v >>= 7;
            const bool done = (v == 0 && !(c & 0x40)) || (v == -1 && (c & 0x40));
            u8(done ? c : c | 0x80);
            if (done) return;
        }
    }
    void str(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); u8(0); }
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
};

// Abbreviation codes.
enum { kUnit = 1, kBase, kExternFn, kStaticFn, kExternVar, kStaticVar };

void write_abbrevs(Bytes& a) {
    auto entry = [&](uint32_t code, uint32_t tag, bool children, std::vector<std::pair<uint32_t, uint32_t>> attrs) {
        a.uleb(code);
        a.uleb(tag);
        a.u8(children ? 1 : 0);
        for (auto [at, form] : attrs) {
            a.uleb(at);
            a.uleb(form);
        }
        a.u8(0);
        a.u8(0);
    };
    // name 0x03, byte_size 0x0b, encoding 0x3e, stmt_list 0x10, low_pc 0x11,
    // high_pc 0x12, language 0x13, comp_dir 0x1b, external 0x3f, type 0x49,
    // location 0x02; forms strp 0x0e, data1 0x0b, data4 0x06, addr 0x01,
    // sec_offset 0x17, flag_present 0x19, ref4 0x13, exprloc 0x18.
    entry(kUnit, 0x11, true, {{0x03, 0x0e}, {0x1b, 0x0e}, {0x13, 0x0b}, {0x10, 0x17}, {0x11, 0x01}, {0x12, 0x06}});
    entry(kBase, 0x24, false, {{0x03, 0x0e}, {0x0b, 0x0b}, {0x3e, 0x0b}});
    entry(kExternFn, 0x2e, false, {{0x03, 0x0e}, {0x3f, 0x19}, {0x49, 0x13}, {0x11, 0x01}, {0x12, 0x06}});
    entry(kStaticFn, 0x2e, true, {{0x03, 0x0e}, {0x49, 0x13}, {0x11, 0x01}, {0x12, 0x06}});
    entry(kExternVar, 0x34, false, {{0x03, 0x0e}, {0x3f, 0x19}, {0x49, 0x13}, {0x02, 0x18}});
    entry(kStaticVar, 0x34, false, {{0x03, 0x0e}, {0x49, 0x13}, {0x02, 0x18}});
    a.u8(0);
}

struct Image {
    Bytes info, abbrev, str, line, symtab, strtab;
    uint32_t nextCode = 0x1000;
    uint32_t nextData = 0x10000000;

    uint32_t string(const std::string& s) {
        const uint32_t at = static_cast<uint32_t>(str.b.size());
        str.str(s);
        return at;
    }
    void symbol(const std::string& name, uint32_t value, uint8_t info, uint16_t shndx) {
        symtab.u32(static_cast<uint32_t>(strtab.b.size()));
        strtab.str(name);
        symtab.u32(value);
        symtab.u32(4);
        symtab.u8(info);
        symtab.u8(0);
        symtab.u16(shndx);
    }
    void location(uint32_t address) {
        info.uleb(5);
        info.u8(0x03);  // DW_OP_addr
        info.u32(address);
    }
};

void write_unit(Image& im, uint32_t u, uint32_t entities) {
    const std::string file = "unit" + std::to_string(u) + ".c";
    const uint32_t unitStart = static_cast<uint32_t>(im.info.b.size());
    const uint32_t lineStart = static_cast<uint32_t>(im.line.b.size());
    Bytes& d = im.info;
    d.u32(0);  // unit_length, patched below
    d.u16(4);
    d.u32(0);  // the one abbreviation table
    d.u8(4);
    d.uleb(kUnit);
    d.u32(im.string(file));
    d.u32(im.string("/work/bench"));
    d.u8(0x0c);  // DW_LANG_C99
    d.u32(lineStart);
    const uint32_t low = im.nextCode;
    const uint32_t functions = entities / 2;
    d.u32(low);
    d.u32(functions * 8);
    const uint32_t intType = static_cast<uint32_t>(d.b.size()) - unitStart;
    d.uleb(kBase);
    d.u32(im.string("int"));
    d.u8(4);
    d.u8(5);
    const uint32_t charType = static_cast<uint32_t>(d.b.size()) - unitStart;
    d.uleb(kBase);
    d.u32(im.string("char"));
    d.u8(1);
    d.u8(6);

    uint32_t variables = entities - functions;
    for (uint32_t f = 0; f < functions; ++f) {
        const std::string name = "f" + std::to_string(u) + "_" + std::to_string(f);
        const uint32_t address = im.nextCode + 8 * f;
        const bool external = f % 2 == 0;
        d.uleb(external ? kExternFn : kStaticFn);
        d.u32(im.string(name));
        d.u32(intType);
        d.u32(address);
        d.u32(8);
        im.symbol("_" + name, address, 0x12, 1);
        if (!external) {
            if (variables > 0) {
                const std::string v = "s" + std::to_string(f);
                d.uleb(kStaticVar);
                d.u32(im.string(v));
                d.u32(charType);
                im.location(im.nextData);
                im.symbol("_" + v + "." + std::to_string(f), im.nextData, 0x11, 2);
                im.nextData += 4;
                --variables;
            }
            d.u8(0);
        }
    }
    for (uint32_t v = 0; v < variables; ++v) {
        const std::string name = "v" + std::to_string(u) + "_" + std::to_string(v);
        const bool external = v % 2 == 0;
        d.uleb(external ? kExternVar : kStaticVar);
        d.u32(im.string(name));
        d.u32(v % 3 == 0 ? charType : intType);
        im.location(im.nextData);
        im.symbol("_" + name, im.nextData, 0x11, 2);
        im.nextData += 4;
    }
    d.u8(0);
    d.put32(unitStart, static_cast<uint32_t>(d.b.size()) - unitStart - 4);

    // Line program, version 3: one file, four rows a function.
    Bytes& l = im.line;
    l.u32(0);
    l.u16(3);
    const size_t headerLength = l.b.size();
    l.u32(0);
    l.u8(2);    // minimum_instruction_length
    l.u8(1);    // default_is_stmt
    l.u8(0xFB); // line_base -5
    l.u8(14);   // line_range
    l.u8(13);   // opcode_base
    for (int n : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1}) l.u8(static_cast<uint32_t>(n));
    l.u8(0);  // no include directories
    l.str(file);
    l.u8(0);
    l.u8(0);
    l.u8(0);
    l.u8(0);
    l.put32(headerLength, static_cast<uint32_t>(l.b.size() - headerLength - 4));
    l.u8(0);
    l.u8(5);
    l.u8(2);  // DW_LNE_set_address
    l.u32(low);
    for (uint32_t f = 0; f < functions; ++f) {
        // Special opcodes: (line advance - line_base) + line_range * address
        // advance + opcode_base; an address step is 2 bytes here.
        if (f == 0) l.u8(1);  // DW_LNS_copy: the first row at the entry
        else l.u8(13 + (1 + 5) + 14 * 1);  // address +2, line +1
        l.u8(13 + (1 + 5) + 14 * 1);
        l.u8(13 + (1 + 5) + 14 * 1);
        l.u8(13 + (0 + 5) + 14 * 1);  // address +2 (by the rows above), line +0
    }
    l.u8(2);  // DW_LNS_advance_pc
    l.uleb(1);
    l.u8(0);
    l.u8(1);
    l.u8(1);  // DW_LNE_end_sequence
    l.put32(lineStart, static_cast<uint32_t>(l.b.size()) - lineStart - 4);
    im.nextCode += functions * 8;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_elf_image UNITS ENTITIES_PER_UNIT FILE\n");
        return 2;
    }
    const uint32_t units = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const uint32_t entities = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    Image im;
    im.symtab.b.assign(16, 0);  // the null symbol
    im.strtab.u8(0);
    write_abbrevs(im.abbrev);
    for (uint32_t u = 0; u < units; ++u) write_unit(im, u, entities);

    struct Section {
        const char* name;
        uint32_t type, flags, addr, link, entsize;
        const Bytes* data;
        uint32_t size;
    };
    Bytes text;  // code bytes are not needed: .text is NOBITS-sized on paper
    const uint32_t codeSize = im.nextCode - 0x1000;
    std::vector<Section> sections = {
        {".text", 8, 6, 0x1000, 0, 0, &text, codeSize},
        {".bss", 8, 3, 0x10000000, 0, 0, &text, im.nextData - 0x10000000},
        {".debug_info", 1, 0, 0, 0, 0, &im.info, 0},
        {".debug_abbrev", 1, 0, 0, 0, 0, &im.abbrev, 0},
        {".debug_line", 1, 0, 0, 0, 0, &im.line, 0},
        {".debug_str", 1, 0x30, 0, 0, 1, &im.str, 0},
        {".symtab", 2, 0, 0, 8, 16, &im.symtab, 0},  // linked to .strtab, section 8
        {".strtab", 3, 0, 0, 0, 0, &im.strtab, 0},
    };
    Bytes shstr;
    shstr.u8(0);
    std::vector<uint32_t> nameAt;
    for (const Section& s : sections) {
        nameAt.push_back(static_cast<uint32_t>(shstr.b.size()));
        shstr.str(s.name);
    }
    const uint32_t shstrName = static_cast<uint32_t>(shstr.b.size());
    shstr.str(".shstrtab");

    Bytes out;
    out.b.resize(52);
    std::vector<uint32_t> offsets;
    for (const Section& s : sections) {
        offsets.push_back(static_cast<uint32_t>(out.b.size()));
        if (s.type != 8) out.b.insert(out.b.end(), s.data->b.begin(), s.data->b.end());
    }
    const uint32_t shstrOffset = static_cast<uint32_t>(out.b.size());
    out.b.insert(out.b.end(), shstr.b.begin(), shstr.b.end());
    while (out.b.size() % 4) out.u8(0);
    const uint32_t shoff = static_cast<uint32_t>(out.b.size());
    out.b.insert(out.b.end(), 40, 0);  // the null section
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const uint32_t size = s.type == 8 ? s.size : static_cast<uint32_t>(s.data->b.size());
        for (uint32_t v : {nameAt[i], s.type, s.flags, s.addr, offsets[i], size, s.link, 0u, 1u, s.entsize}) {
            out.u32(v);
        }
    }
    for (uint32_t v : {shstrName, 3u, 0u, 0u, shstrOffset, static_cast<uint32_t>(shstr.b.size()), 0u, 0u, 1u, 0u}) {
        out.u32(v);
    }
    Bytes h;
    for (int c : {0x7F, 0x45, 0x4C, 0x46, 1, 2, 1, 0}) h.u8(static_cast<uint32_t>(c));  // ELF, 32-bit, MSB
    h.b.resize(16, 0);
    h.u16(2);   // ET_EXEC
    h.u16(42);  // EM_SH
    h.u32(1);
    h.u32(0x1000);
    h.u32(0);
    h.u32(shoff);
    h.u32(0);
    h.u16(52);
    h.u16(32);
    h.u16(0);
    h.u16(40);
    h.u16(static_cast<uint16_t>(sections.size() + 2));
    h.u16(static_cast<uint16_t>(sections.size() + 1));
    std::copy(h.b.begin(), h.b.end(), out.b.begin());

    std::FILE* f = std::fopen(argv[3], "wb");
    if (!f || std::fwrite(out.b.data(), 1, out.b.size(), f) != out.b.size() || std::fclose(f) != 0) {
        std::perror(argv[3]);
        return 1;
    }
    std::printf("%s: %zu bytes, %u units, %u functions and variables\n", argv[3], out.b.size(), units,
                units * entities);
    return 0;
}
