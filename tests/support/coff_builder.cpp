#include "support/coff_builder.h"

#include <algorithm>
#include <cstring>

namespace coff_test {

namespace {

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void append16(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    put16(b, v);
    out.insert(out.end(), b, b + 2);
}

void append32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    put32(b, v);
    out.insert(out.end(), b, b + 4);
}

}  // namespace

AuxRecord aux_function(uint32_t lnnoptr, uint32_t endndx, uint32_t fsize, uint32_t tagndx,
                       uint16_t tvndx) {
    AuxRecord a{};
    put32(&a[0], tagndx);
    put32(&a[4], fsize);
    put32(&a[8], lnnoptr);
    put32(&a[12], endndx);
    put16(&a[16], tvndx);
    return a;
}

AuxRecord aux_line(uint16_t lnno, uint32_t lnnoptr, uint32_t endndx, uint32_t tagndx,
                   uint16_t size, uint16_t tvndx) {
    AuxRecord a{};
    put32(&a[0], tagndx);
    put16(&a[4], lnno);
    put16(&a[6], size);
    put32(&a[8], lnnoptr);
    put32(&a[12], endndx);
    put16(&a[16], tvndx);
    return a;
}

AuxRecord aux_array(uint32_t tagndx, uint16_t lnno, uint16_t size, std::array<uint16_t, 4> dimen,
                    uint16_t tvndx) {
    AuxRecord a{};
    put32(&a[0], tagndx);
    put16(&a[4], lnno);
    put16(&a[6], size);
    for (int d = 0; d < 4; ++d) put16(&a[8 + 2 * d], dimen[d]);
    put16(&a[16], tvndx);
    return a;
}

AuxRecord aux_raw(std::initializer_list<uint8_t> bytes) {
    AuxRecord a{};
    size_t i = 0;
    for (uint8_t b : bytes) {
        if (i < a.size()) a[i++] = b;
    }
    return a;
}

uint32_t CoffBuilder::add(SymbolSpec symbol) {
    const uint32_t index = next_index();
    symbols.push_back(std::move(symbol));
    return index;
}

uint32_t CoffBuilder::next_index() const {
    uint32_t index = 0;
    for (const SymbolSpec& s : symbols) {
        index += 1 + static_cast<uint32_t>(s.aux.size()) + (s.fileName ? 1 : 0);
    }
    return index;
}

uint32_t CoffBuilder::line_offset(size_t s, size_t entry) const {
    uint32_t offset = lineTablesAt ? *lineTablesAt : 48 + 40 * static_cast<uint32_t>(sections.size());
    for (size_t k = 0; k < s; ++k) offset += 8 * static_cast<uint32_t>(sections[k].lines.size());
    return offset + 8 * static_cast<uint32_t>(entry);
}

uint32_t CoffBuilder::symbol_table_offset() const {
    return symptr ? *symptr : line_offset(sections.size());
}

std::vector<uint8_t> CoffBuilder::build() const {
    // String table: 4-byte length, then NUL-terminated names.
    std::vector<uint8_t> strings(4, 0);
    auto add_string = [&strings](const std::string& s) {
        const uint32_t offset = static_cast<uint32_t>(strings.size());
        strings.insert(strings.end(), s.begin(), s.end());
        strings.push_back(0);
        return offset;
    };

    std::vector<uint8_t> table;
    uint32_t records = 0;
    for (const SymbolSpec& s : symbols) {
        uint8_t rec[18] = {};
        if (s.nameInStringTable || s.name.size() > 8) {
            put32(rec + 4, add_string(s.name));
        } else {
            std::memcpy(rec, s.name.data(), s.name.size());
        }
        put32(rec + 8, s.value);
        put16(rec + 12, s.scnum);
        put16(rec + 14, s.type);
        rec[16] = s.sclass;
        const size_t auxCount = s.aux.size() + (s.fileName ? 1 : 0);
        rec[17] = s.numaux ? *s.numaux : static_cast<uint8_t>(auxCount);
        table.insert(table.end(), rec, rec + 18);
        ++records;
        if (s.fileName) {
            AuxRecord a{};
            if (s.fileNameInStringTable || s.fileName->size() > 14) {
                put32(&a[4], add_string(*s.fileName));
            } else {
                std::memcpy(a.data(), s.fileName->data(), s.fileName->size());
            }
            table.insert(table.end(), a.begin(), a.end());
            ++records;
        }
        for (const AuxRecord& a : s.aux) {
            table.insert(table.end(), a.begin(), a.end());
            ++records;
        }
    }
    put32(strings.data(), static_cast<uint32_t>(strings.size()));

    std::vector<uint8_t> out;
    append16(out, magic);
    append16(out, nscns ? *nscns : static_cast<uint16_t>(sections.size()));
    append32(out, timdat);
    append32(out, symbol_table_offset());
    append32(out, nsyms ? *nsyms : records);
    append16(out, opthdr);
    append16(out, flags);
    append16(out, aoutMagic);
    append16(out, vstamp);
    for (uint32_t v : {tsize, dsize, bsize, entry, textStart, dataStart}) append32(out, v);
    for (size_t n = 0; n < sections.size(); ++n) {
        const SectionSpec& s = sections[n];
        uint8_t name[8] = {};
        std::memcpy(name, s.name.data(), std::min<size_t>(8, s.name.size()));
        out.insert(out.end(), name, name + 8);
        for (uint32_t v : {s.paddr, s.vaddr, s.size, s.scnptr, s.relptr}) append32(out, v);
        append32(out, s.lnnoptr ? *s.lnnoptr : line_offset(n));
        append16(out, s.nreloc);
        append16(out, s.nlnno ? *s.nlnno : static_cast<uint16_t>(s.lines.size()));
        append32(out, s.flags);
    }
    if (out.size() < line_offset(0)) out.resize(line_offset(0), 0);
    for (const SectionSpec& s : sections) {
        for (const LineRec& l : s.lines) {
            append32(out, l.addr);
            append32(out, l.lnno);
        }
    }
    if (out.size() < symbol_table_offset()) out.resize(symbol_table_offset(), 0);
    out.resize(symbol_table_offset());
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), strings.begin(), strings.end());
    return out;
}

}  // namespace coff_test

namespace coff_test {

SectionSpec section(const std::string& name, std::vector<LineRec> lines) {
    SectionSpec s;
    s.name = name;
    s.lines = std::move(lines);
    return s;
}

SymbolSpec file_symbol(const std::string& fileName) {
    SymbolSpec s;
    s.name = ".file";
    s.scnum = 0xFFFE;
    s.sclass = 103;  // C_FILE
    s.fileName = fileName;
    return s;
}

SymbolSpec function_symbol(const std::string& name, uint32_t value, uint16_t type, uint8_t sclass,
                           uint32_t lnnoptr, uint32_t endndx, uint16_t scnum) {
    SymbolSpec s = plain_symbol(name, value, type, sclass, scnum);
    s.aux.push_back(aux_function(lnnoptr, endndx));
    return s;
}

SymbolSpec bf_symbol(uint32_t value, uint16_t baseLine, uint16_t scnum) {
    SymbolSpec s = plain_symbol(".bf", value, 0, 101, scnum);  // C_FCN
    s.aux.push_back(aux_line(baseLine));
    return s;
}

SymbolSpec ef_symbol(uint32_t value, uint16_t scnum) {
    SymbolSpec s = plain_symbol(".ef", value, 0, 101, scnum);
    s.aux.push_back(aux_line(1));
    return s;
}

SymbolSpec plain_symbol(const std::string& name, uint32_t value, uint16_t type, uint8_t sclass,
                        uint16_t scnum) {
    SymbolSpec s;
    s.name = name;
    s.value = value;
    s.type = type;
    s.sclass = sclass;
    s.scnum = scnum;
    return s;
}

CoffBuilder worked_example(uint16_t magic) {
    CoffBuilder b;
    b.magic = magic;
    b.lineTablesAt = 0x1F0;
    b.sections = {section(".text", {{2, 0}, {0x104, 2}, {0x10A, 3}, {0x112, 5}, {9, 0}, {0x11C, 2}, {0x120, 3}}),
                  section(".data"), section(".bss")};
    b.add(file_symbol("test.c"));                                    // 0
    b.add(function_symbol("_main", 0x100, 0x24, 2, 0x1F0, 9));       // 2
    b.add(bf_symbol(0x100, 5));                                      // 4
    b.add(plain_symbol("_count", 0x200, 0x04, 3, 2));                // 6
    b.add(ef_symbol(0x116));                                         // 7
    b.add(function_symbol("_tick", 0x118, 0x24, 3, 0x210, 16));      // 9
    b.add(bf_symbol(0x118, 12));                                     // 11
    b.add(plain_symbol("_depth", 0x204, 0x0D, 3, 2));                // 13
    b.add(ef_symbol(0x124));                                         // 14
    SymbolSpec table = plain_symbol("_table", 0x300, 0x35, 2, 2);    // 16
    table.aux.push_back(aux_array(0, 0, 16, {8, 0, 0, 0}));
    b.add(table);
    b.add(plain_symbol("_flag", 0x310, 0x02, 3, 3));                 // 18
    SymbolSpec section = plain_symbol(".text", 0x100, 0, 3, 1);      // 19
    section.aux.push_back(aux_raw({0, 0, 0, 0x24, 0, 0, 0, 7}));
    b.add(section);
    return b;
}

}  // namespace coff_test
