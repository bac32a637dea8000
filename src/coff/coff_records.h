// Record types of a big-endian COFF executable for H8/300, H8/300H, H8S and
// SH, as decoded into host order. Field names follow the published COFF
// standard. All fields are unsigned: the special section numbers -1 and -2
// stay 0xFFFF and 0xFFFE.
#pragma once

#include <cstdint>

namespace dravont {

// Sizes and fixed positions of the records in the file.
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kOptionalHeaderSize = 28;  // a.out header of a linked executable
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSymbolRecordSize = 18;  // symbol and auxiliary records alike
constexpr uint32_t kLineEntrySize = 8;      // 4-byte address, 4-byte line number
constexpr uint64_t kOptionalHeaderOffset = kFileHeaderSize;
constexpr uint64_t kSectionTableOffset = kFileHeaderSize + kOptionalHeaderSize;

// Storage classes (n_sclass).
enum : uint8_t {
    C_NULL = 0,
    C_AUTO = 1,
    C_EXT = 2,
    C_STAT = 3,
    C_REG = 4,
    C_EXTDEF = 5,
    C_LABEL = 6,
    C_ULABEL = 7,
    C_MOS = 8,
    C_ARG = 9,
    C_STRTAG = 10,
    C_MOU = 11,
    C_UNTAG = 12,
    C_TPDEF = 13,
    C_USTATIC = 14,
    C_ENTAG = 15,
    C_MOE = 16,
    C_REGPARM = 17,
    C_FIELD = 18,
    C_BLOCK = 100,
    C_FCN = 101,
    C_EOS = 102,
    C_FILE = 103,
};

// n_type: basic type in bits 0-3, outermost derived type in bits 4-5.
constexpr uint16_t N_BTMASK = 0x000F;
constexpr uint16_t N_TMASK = 0x0030;
constexpr uint16_t DT_NON = 0x0000;
constexpr uint16_t DT_PTR = 0x0010;
constexpr uint16_t DT_FCN = 0x0020;
constexpr uint16_t DT_ARY = 0x0030;

// Target family: chooses the size classes of int and unsigned int.
enum class TargetFamily : uint16_t { H8 = 0, SH = 1 };

struct FileHeader {
    uint16_t f_magic;
    uint16_t f_nscns;
    uint32_t f_timdat;
    uint32_t f_symptr;
    uint32_t f_nsyms;
    uint16_t f_opthdr;
    uint16_t f_flags;
};

struct OptionalHeader {
    uint16_t magic;
    uint16_t vstamp;
    uint32_t tsize;
    uint32_t dsize;
    uint32_t bsize;
    uint32_t entry;
    uint32_t text_start;
    uint32_t data_start;
};

struct SectionHeader {
    char s_name[8];  // NUL-filled; no terminator when all 8 bytes are used
    uint32_t s_paddr;
    uint32_t s_vaddr;
    uint32_t s_size;
    uint32_t s_scnptr;
    uint32_t s_relptr;
    uint32_t s_lnnoptr;
    uint16_t s_nreloc;
    uint16_t s_nlnno;
    uint32_t s_flags;
};

// One line-number entry. l_addr is l_symndx when l_lnno is 0 (the first
// entry of a function), otherwise l_paddr.
struct LineEntry {
    uint32_t l_addr;
    uint32_t l_lnno;
};

// One symbol record. An inline name (at most 8 bytes) is held in n_name,
// NUL-filled behind its last character; a string-table name leaves the first
// four bytes of n_name zero and its offset in n_offset.
struct SymbolEntry {
    char n_name[8];
    uint32_t n_offset;
    uint32_t n_value;
    uint16_t n_scnum;
    uint16_t n_type;
    uint8_t n_sclass;
    uint8_t n_numaux;
};

// The four forms of an auxiliary record. Which one applies follows from the
// symbol that owns the record.
struct AuxLineForm {
    uint32_t x_tagndx;
    uint16_t x_lnno;
    uint16_t x_size;
    uint32_t x_lnnoptr;
    uint32_t x_endndx;
    uint16_t x_tvndx;
};

struct AuxFunctionForm {
    uint32_t x_tagndx;
    uint32_t x_fsize;
    uint32_t x_lnnoptr;
    uint32_t x_endndx;
    uint16_t x_tvndx;
};

struct AuxArrayForm {
    uint32_t x_tagndx;
    uint16_t x_lnno;
    uint16_t x_size;
    uint16_t x_dimen[4];
    uint16_t x_tvndx;
};

// Inline file name (at most 14 bytes, NUL-filled) in x_fname, or, when its
// first four bytes are zero, a string-table name at x_offset.
struct AuxFileForm {
    char x_fname[14];
    uint32_t x_offset;
};

// The one auxiliary-record slot. A decode writes only the form it decodes,
// and the file form only its name part; everything else keeps what earlier
// decodes left there.
struct AuxEntry {
    AuxLineForm line;
    AuxFunctionForm function;
    AuxArrayForm array;
    AuxFileForm file;
};

}  // namespace dravont
