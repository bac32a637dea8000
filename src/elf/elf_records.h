// Record types of a 32-bit ELF file, as decoded into host order. Field names
// follow the ELF standard (gABI).
#pragma once

#include <cstdint>
#include <string_view>

namespace dravont {

constexpr uint32_t kElfHeaderSize = 52;
constexpr uint32_t kElfSectionHeaderSize = 40;
constexpr uint32_t kElfSymbolSize = 16;

// e_ident
constexpr uint8_t ELFCLASS32 = 1;
constexpr uint8_t ELFDATA2LSB = 1;
constexpr uint8_t ELFDATA2MSB = 2;
// e_type
constexpr uint16_t ET_REL = 1;
constexpr uint16_t ET_EXEC = 2;
// e_machine
constexpr uint16_t EM_SH = 42;
constexpr uint16_t EM_H8_300 = 46;
// sh_type
constexpr uint32_t SHT_NULL = 0;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_NOBITS = 8;
// sh_flags
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
constexpr uint32_t SHF_COMPRESSED = 0x800;
// special section indices
constexpr uint16_t SHN_UNDEF = 0;
// ELF32_ST_TYPE(st_info)
constexpr uint8_t STT_NOTYPE = 0;
constexpr uint8_t STT_FUNC = 2;
constexpr uint8_t STT_SECTION = 3;
constexpr uint8_t STT_FILE = 4;
constexpr uint16_t SHN_XINDEX = 0xFFFF;

struct ElfHeader {
    uint8_t ei_class;
    uint8_t ei_data;
    uint8_t ei_version;
    uint16_t e_type;
    uint16_t e_machine;
    uint32_t e_version;
    uint32_t e_entry;
    uint32_t e_phoff;
    uint32_t e_shoff;
    uint32_t e_flags;
    uint16_t e_ehsize;
    uint16_t e_phentsize;
    uint16_t e_phnum;
    uint16_t e_shentsize;
    uint16_t e_shnum;
    uint16_t e_shstrndx;
};

struct ElfSectionHeader {
    uint32_t sh_name;
    uint32_t sh_type;
    uint32_t sh_flags;
    uint32_t sh_addr;
    uint32_t sh_offset;
    uint32_t sh_size;
    uint32_t sh_link;
    uint32_t sh_info;
    uint32_t sh_addralign;
    uint32_t sh_entsize;
    std::string_view name;  // from the section-name string table
};

struct ElfSymbol {
    uint32_t st_name;
    uint32_t st_value;
    uint32_t st_size;
    uint8_t st_info;
    uint8_t st_other;
    uint16_t st_shndx;
};

}  // namespace dravont
