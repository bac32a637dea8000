// The debug listing of an ELF input: its header, its section table, one row
// per DWARF entity the conversion considers and one row per line-table row,
// in fixed columns like the COFF listing.
#pragma once

#include <cstdint>
#include <string_view>

namespace dravont {

class TextOut;
class ElfFile;

void print_elf_header(TextOut& out, const ElfFile& elf);
// The section table, then the compressed sections' sizes where there are any.
void print_elf_sections(TextOut& out, const ElfFile& elf);
void print_compressed_sections(TextOut& out, const ElfFile& elf);

// A compile unit's heading, followed by the entity table's heading.
void print_unit_heading(TextOut& out, uint64_t offset, uint16_t version, std::string_view name);

struct EntityRow {
    uint64_t offset = 0;
    std::string_view tag;      // "subprogram", "variable"
    std::string_view name;     // the C name, as DWARF gives it
    bool hasAddress = false;
    uint64_t address = 0;
    std::string_view typeChain;
    std::string_view sizeClass;  // empty when not computed
    std::string_view result;     // "external", "static ...", or why nothing is written
};
void print_entity_row(TextOut& out, const EntityRow& row);
void print_entity_end(TextOut& out);

// The line table's heading and rows.
void print_line_heading(TextOut& out, uint64_t offset, uint16_t version);
void print_line_row(TextOut& out, uint64_t address, std::string_view file, uint32_t line,
                    bool endSequence, std::string_view result);
void print_line_end(TextOut& out);

}  // namespace dravont
