// Writes big-endian COFF images for tests: file header, a.out header,
// section headers, line-number tables, symbols with auxiliary records and a
// string table. Reaches what no compiler here emits (SH files, odd name
// lengths, malformed tables).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace coff_test {

using AuxRecord = std::array<uint8_t, 18>;

struct LineRec {
    uint32_t addr;  // l_symndx when lnno is 0, else l_paddr
    uint32_t lnno;
};

struct SectionSpec {
    std::string name;
    uint32_t paddr = 0, vaddr = 0, size = 0, scnptr = 0, relptr = 0, flags = 0;
    uint16_t nreloc = 0;
    std::vector<LineRec> lines;
    std::optional<uint32_t> lnnoptr;  // default: where the builder puts `lines`
    std::optional<uint16_t> nlnno;    // default: lines.size()
};

struct SymbolSpec {
    std::string name;
    uint32_t value = 0;
    uint16_t scnum = 0;
    uint16_t type = 0;
    uint8_t sclass = 0;
    std::vector<AuxRecord> aux;
    std::optional<uint8_t> numaux;        // default: aux.size()
    bool nameInStringTable = false;       // also forced for names over 8 bytes
    std::optional<std::string> fileName;  // C_FILE: builds the file-form aux
    bool fileNameInStringTable = false;   // also forced for names over 14 bytes
};

AuxRecord aux_function(uint32_t lnnoptr, uint32_t endndx, uint32_t fsize = 0,
                       uint32_t tagndx = 0, uint16_t tvndx = 0);
AuxRecord aux_line(uint16_t lnno, uint32_t lnnoptr = 0, uint32_t endndx = 0,
                   uint32_t tagndx = 0, uint16_t size = 0, uint16_t tvndx = 0);
AuxRecord aux_array(uint32_t tagndx, uint16_t lnno, uint16_t size,
                    std::array<uint16_t, 4> dimen, uint16_t tvndx = 0);
AuxRecord aux_raw(std::initializer_list<uint8_t> bytes);

class CoffBuilder {
public:
    uint16_t magic = 0x8300;
    uint32_t timdat = 0;
    uint16_t opthdr = 28;
    uint16_t flags = 0;
    // a.out header
    uint16_t aoutMagic = 0x0107, vstamp = 0;
    uint32_t tsize = 0, dsize = 0, bsize = 0, entry = 0, textStart = 0, dataStart = 0;

    std::vector<SectionSpec> sections;
    std::vector<SymbolSpec> symbols;
    std::optional<uint32_t> nsyms;   // default: records written
    std::optional<uint32_t> symptr;  // default: after the line tables
    std::optional<uint16_t> nscns;   // default: sections.size()
    std::optional<uint32_t> lineTablesAt;  // default: right after the section headers

    // Adds a symbol and returns its index in the symbol table (auxiliary
    // records count).
    uint32_t add(SymbolSpec symbol);
    // Index the next added symbol will get.
    uint32_t next_index() const;
    // File offset of entry `entry` of section s's line table, as build() lays
    // it out; valid once every section's lines are set.
    uint32_t line_offset(size_t s, size_t entry = 0) const;
    // File offset of the symbol table as build() lays it out.
    uint32_t symbol_table_offset() const;

    std::vector<uint8_t> build() const;
};

}  // namespace coff_test

namespace coff_test {

// Shorthands for the entries a compiler emits.
SectionSpec section(const std::string& name, std::vector<LineRec> lines = {});
SymbolSpec file_symbol(const std::string& fileName);
SymbolSpec function_symbol(const std::string& name, uint32_t value, uint16_t type, uint8_t sclass,
                           uint32_t lnnoptr, uint32_t endndx, uint16_t scnum = 1);
SymbolSpec bf_symbol(uint32_t value, uint16_t baseLine, uint16_t scnum = 1);
SymbolSpec ef_symbol(uint32_t value, uint16_t scnum = 1);
SymbolSpec plain_symbol(const std::string& name, uint32_t value, uint16_t type, uint8_t sclass,
                        uint16_t scnum = 1);

// A small H8 program: a file entry, an external function with a static
// inside, a static function with a static inside, an external array, a
// file-level static and a section symbol; one line table of 7 entries.
CoffBuilder worked_example(uint16_t magic = 0x8300);

}  // namespace coff_test
