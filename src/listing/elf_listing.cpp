#include "listing/elf_listing.h"

#include "common/elf_messages.h"
#include "common/run_error.h"
#include "common/text_out.h"
#include "elf/elf_file.h"

namespace dravont {

namespace {

constexpr char kSectionRule[] =
    "----+--------------------------------+--------+--------+--------+--------+--------+";
constexpr char kSectionHeading[] =
    " Nr |  Name                          |  type  |  addr  | offset |  size  | flags  |";
constexpr char kCompressedRule[] = "----+--------------------------------+--------+----------+------------+";
constexpr char kCompressedHeading[] = " Nr |  Name                          | format |compressed|uncompressed|";
constexpr char kEntityRule[] =
    "--------+----------+--------------------------------+--------+"
    "----------------------------------------+------+--------------------";
constexpr char kEntityHeading[] =
    "  DIE   |   tag    |  Name                          |address |"
    "  type chain                            |class | result";
constexpr char kLineRule[] = "--------+--------------------------------+--------+--------------------";
constexpr char kLineHeading[] = "address |  file                          |  line  | result";

}  // namespace

void print_elf_header(TextOut& out, const ElfFile& elf) {
    const ElfHeader& h = elf.header();
    out.put("----------- ELF Header -----------\n");
    out.put("EI_CLASS   :").dec(h.ei_class).put(" (ELFCLASS32)\n");
    out.put("EI_DATA    :").dec(h.ei_data).put(h.ei_data == 2 ? " (big-endian)\n" : " (little-endian)\n");
    out.put("e_type     :").dec(h.e_type).put('\n');
    out.put("e_machine  :").dec(h.e_machine).put('\n');
    out.put("e_version  :").dec(h.e_version).put('\n');
    out.put("e_entry    :").hex(h.e_entry, 8).put('\n');
    out.put("e_phoff    :").hex(h.e_phoff, 8).put('\n');
    out.put("e_shoff    :").hex(h.e_shoff, 8).put('\n');
    out.put("e_flags    :").hex(h.e_flags, 8).put('\n');
    out.put("e_shnum    :").dec(h.e_shnum).put('\n');
    out.put("e_shstrndx :").dec(h.e_shstrndx).put('\n');
    out.put("-------------------------------\n\n");
    out.put(h.e_machine == 46 ? msg::kH8ElfFamily : msg::kShElfFamily);
}

void print_elf_sections(TextOut& out, const ElfFile& elf) {
    out.put(kSectionRule).put('\n').put(kSectionHeading).put('\n').put(kSectionRule).put('\n');
    uint64_t n = 0;
    for (const ElfSectionHeader& s : elf.sections()) {
        out.dec(n++, 4).put('|').left(s.name, 32, 32).put('|');
        out.hex(s.sh_type, 8).put('|').hex(s.sh_addr, 8).put('|').hex(s.sh_offset, 8).put('|');
        out.hex(s.sh_size, 8).put('|').hex(s.sh_flags, 8).put("|\n");
    }
    out.put(kSectionRule).put("\n\n");
    print_compressed_sections(out, elf);
}

// The compressed sections with their sizes as stored (header included) and
// as the header declares them inflated; nothing when there are none. A header
// that cannot be read shows "?": the conversion reports it if it reads the
// section.
void print_compressed_sections(TextOut& out, const ElfFile& elf) {
    bool any = false;
    uint64_t n = 0;
    for (const ElfSectionHeader& s : elf.sections()) {
        const uint64_t number = n++;
        if (s.sh_type == SHT_NOBITS || !is_compressed_section(s.sh_flags, s.name)) continue;
        if (!any) {
            out.put(kCompressedRule).put('\n').put(kCompressedHeading).put('\n').put(kCompressedRule).put('\n');
            any = true;
        }
        out.dec(number, 4).put('|').left(s.name, 32, 32).put('|');
        try {
            const CompressionHeader h = elf.compression(s);
            out.left(compression_name(h.kind), 8, 8).put("|  ").hex(s.sh_size, 8).put("|    ").hex(h.size, 8);
        } catch (const MalformedInput&) {
            out.put("?       |  ").hex(s.sh_size, 8).put("|           ?");
        }
        out.put("|\n");
    }
    if (any) out.put(kCompressedRule).put("\n\n");
}

void print_unit_heading(TextOut& out, uint64_t offset, uint16_t version, std::string_view name) {
    out.put("************************ Compile Unit ").hex(offset, 8).put(" DWARF ").dec(version);
    out.put(' ').put(name).put(" ************************\n\n");
    out.put(kEntityRule).put('\n').put(kEntityHeading).put('\n').put(kEntityRule).put('\n');
}

void print_entity_row(TextOut& out, const EntityRow& row) {
    out.hex(row.offset, 8).put('|').left(row.tag, 10, 10).put('|').left(row.name, 32, 32).put('|');
    if (row.hasAddress) out.hex(row.address, 8);
    else out.put("        ");
    out.put('|').left(row.typeChain, 40, 40).put('|').left(row.sizeClass, 6, 6).put('|');
    out.put(row.result).put('\n');
}

void print_entity_end(TextOut& out) { out.put(kEntityRule).put("\n\n"); }

void print_line_heading(TextOut& out, uint64_t offset, uint16_t version) {
    out.put("Line table at ").hex(offset, 8).put(", version ").dec(version).put('\n');
    out.put(kLineRule).put('\n').put(kLineHeading).put('\n').put(kLineRule).put('\n');
}

void print_line_row(TextOut& out, uint64_t address, std::string_view file, uint32_t line,
                    bool endSequence, std::string_view result) {
    out.hex(address, 8).put('|').left(file, 32, 32).put('|');
    if (endSequence) out.put("  ----  ");
    else out.dec(line, 8);
    out.put('|').put(result).put('\n');
}

void print_line_end(TextOut& out) { out.put(kLineRule).put("\n\n"); }

}  // namespace dravont
