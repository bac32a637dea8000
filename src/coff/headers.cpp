#include "coff/headers.h"

#include <cstring>
#include <string_view>

#include "common/run_state.h"

namespace dravont {

namespace {

// Block lines: a 13-character label, then the value so that four- and
// eight-digit values end in the same column, then a blank.
void field16(TextOut& out, std::string_view label, uint16_t value) {
    out.put(label).put("     ").hex(value, 4).put(" \n");
}

void field32(TextOut& out, std::string_view label, uint32_t value) {
    out.put(label).put(' ').hex(value, 8).put(" \n");
}

}  // namespace

void decode_file_header(RunState& state) {
    const InputImage& image = state.image;
    state.fileHeaderPosition = 0;
    require_in_image(image, 0, kFileHeaderSize, "file header");
    FileHeader& h = *state.fileHeader;
    h.f_magic = read_be16(image, 0);
    h.f_nscns = read_be16(image, 2);
    h.f_timdat = read_be32(image, 4);
    h.f_symptr = read_be32(image, 8);
    h.f_nsyms = read_be32(image, 12);
    h.f_opthdr = read_be16(image, 16);
    h.f_flags = read_be16(image, 18);
    if (!state.debugMode) return;
    TextOut& out = state.out;
    out.put("----- File Header -----\n");
    field16(out, "Magic Number:", h.f_magic);
    field16(out, "NumOfSection:", h.f_nscns);
    field32(out, "Time & Date :", h.f_timdat);
    field32(out, "Symbol Point:", h.f_symptr);
    field32(out, "SymbolEntrry:", h.f_nsyms);
    field16(out, "OptionHdSize:", h.f_opthdr);
    field16(out, "Flags       :", h.f_flags);
    out.put('\n');
}

void decode_optional_header(RunState& state) {
    const InputImage& image = state.image;
    const uint64_t p = kOptionalHeaderOffset;
    state.optionalHeaderPosition = p;
    require_in_image(image, p, kOptionalHeaderSize, "optional header");
    OptionalHeader& h = *state.optionalHeader;
    h.magic = read_be16(image, p);
    h.vstamp = read_be16(image, p + 2);
    h.tsize = read_be32(image, p + 4);
    h.dsize = read_be32(image, p + 8);
    h.bsize = read_be32(image, p + 12);
    h.entry = read_be32(image, p + 16);
    h.text_start = read_be32(image, p + 20);
    h.data_start = read_be32(image, p + 24);
    if (!state.debugMode) return;
    TextOut& out = state.out;
    out.put("----- Aout Optional Header -----\n");
    field16(out, "Type Of File:", h.magic);
    field16(out, "VersionStamp:", h.vstamp);
    field32(out, "TextSize    :", h.tsize);
    field32(out, "InitDataSize:", h.dsize);
    field32(out, "UninitData  :", h.bsize);
    field32(out, "EntryPoint  :", h.entry);
    field32(out, "TextStart   :", h.text_start);
    field32(out, "DataStart   :", h.data_start);
    out.put('\n');
}

void decode_section_header(RunState& state, uint16_t n) {
    const InputImage& image = state.image;
    const uint64_t p = section_header_position(n);
    state.sectionHeaderPosition = p;
    require_in_image(image, p, kSectionHeaderSize, "section header", uint64_t{n} + 1);
    SectionHeader& h = *state.sectionHeader;
    // The name is taken up to its first NUL and NUL-filled behind it.
    const uint8_t* name = image.data() + p;
    size_t len = 0;
    while (len < sizeof h.s_name && name[len] != 0) ++len;
    std::memset(h.s_name, 0, sizeof h.s_name);
    std::memcpy(h.s_name, name, len);
    h.s_paddr = read_be32(image, p + 8);
    h.s_vaddr = read_be32(image, p + 12);
    h.s_size = read_be32(image, p + 16);
    h.s_scnptr = read_be32(image, p + 20);
    h.s_relptr = read_be32(image, p + 24);
    h.s_lnnoptr = read_be32(image, p + 28);
    h.s_nreloc = read_be16(image, p + 32);
    h.s_nlnno = read_be16(image, p + 34);
    h.s_flags = read_be32(image, p + 36);
    if (!state.debugMode) return;
    TextOut& out = state.out;
    out.put("------------- Section ").dec_zero(static_cast<uint16_t>(n + 1), 2);
    out.put(" -------------\n");
    out.put("Section Name: ").left(std::string_view(h.s_name, len), 8, 8).put('\n');
    field32(out, "PhysicalAddr:", h.s_paddr);
    field32(out, "VirtualAddr :", h.s_vaddr);
    field32(out, "Section Size:", h.s_size);
    field32(out, "RawDataFlPtr:", h.s_scnptr);
    field32(out, "RelocatFlPtr:", h.s_relptr);
    field32(out, "LineNumFlPtr:", h.s_lnnoptr);
    field16(out, "RelocatEntry:", h.s_nreloc);
    field16(out, "LineNumEntry:", h.s_nlnno);
    field32(out, "Flags       :", h.s_flags);
    out.put('\n');
}

}  // namespace dravont
