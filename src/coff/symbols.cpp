#include "coff/symbols.h"

#include <cstring>

#include "common/run_error.h"
#include "common/run_state.h"
// Against the layering (a reader using output/): the symbol decoder prints the
// type code's size class from the conversion's table in the debug listing.
#include "output/type_class_table.h"

namespace dravont {

namespace {

// Copies an inline name of at most `width` bytes: up to the first NUL, the
// rest of the field NUL-filled.
void copy_inline_name(char* field, const uint8_t* source, size_t width) {
    size_t len = 0;
    while (len < width && source[len] != 0) ++len;
    std::memset(field, 0, width);
    std::memcpy(field, source, len);
}

bool first_four_zero(const char* field) {
    return field[0] == 0 && field[1] == 0 && field[2] == 0 && field[3] == 0;
}

// The shared name rule: inline when the field's first four bytes are not all
// zero, otherwise the NUL-terminated string at stringTable + offset. A
// string-table name must start inside the image and end before it does.
void resolve_name(const RunState& state, const char* field, size_t width, uint32_t offset,
                  Name& out) {
    std::string_view name;
    if (!first_four_zero(field)) {
        size_t len = 0;
        while (len < width && field[len] != 0) ++len;
        name = std::string_view(field, len);
    } else {
        const InputImage& image = state.image;
        const uint64_t start = state.stringTable + offset;
        require_in_image(image, start, 1, "string-table name");
        const void* start_ptr = image.data() + start;
        const void* nul = std::memchr(start_ptr, 0, image.size() - start);
        if (!nul) throw MalformedInput("string-table name without end", start, image.size());
        name = std::string_view(static_cast<const char*>(start_ptr),
                                static_cast<const char*>(nul) - static_cast<const char*>(start_ptr));
    }
    if (name.size() > Name::kMaxLength) name = name.substr(0, Name::kMaxLength);
    std::memcpy(out.text, name.data(), name.size());
    out.text[name.size()] = 0;
    out.length = name.size();
}

// A name for a debug row. Rows are diagnostics: a name that cannot be read
// is shown as such rather than ending a run that succeeds without -debug.
template <typename Resolve>
Name listing_name(Resolve resolve) {
    Name name;
    try {
        resolve(name);
    } catch (const MalformedInput&) {
        static constexpr char kUnreadable[] = "(name outside the file)";
        std::memcpy(name.text, kUnreadable, sizeof kUnreadable);
        name.length = sizeof kUnreadable - 1;
    }
    return name;
}

enum class AuxForm { Line, Function, Array, File, None };

struct AuxClass {
    const char* label;  // 13 characters, or "Auxiliary" for a class without a form
    AuxForm form;
};

AuxClass aux_class(uint8_t sclass, uint16_t type) {
    switch (sclass) {
        case C_AUTO: return {"AutoVariable:", AuxForm::Function};
        case C_EXT:
            switch (type & N_TMASK) {
                case DT_PTR: return {"Pointer     :", AuxForm::Line};
                case DT_FCN: return {"Function    :", AuxForm::Function};
                case DT_ARY: return {"Array       :", AuxForm::Array};
                default: return {"No Type     :", AuxForm::Function};
            }
        case C_STAT: return {"Static      :", AuxForm::Function};
        case C_REG: return {"Reg Variable:", AuxForm::Function};
        case C_MOS: return {"Mem ofStruct:", AuxForm::Array};
        case C_ARG: return {"Fuc Argument:", AuxForm::Array};
        case C_STRTAG: return {"StructureTag:", AuxForm::Function};
        case C_MOU: return {"Mem of Union:", AuxForm::Array};
        case C_UNTAG: return {"UnionTag    :", AuxForm::Function};
        case C_TPDEF: return {"TypeDefinite:", AuxForm::Function};
        case C_ENTAG: return {"EnumerationT:", AuxForm::Function};
        case C_REGPARM: return {"RegParameter:", AuxForm::Function};
        case C_BLOCK: return {"            :", AuxForm::Line};
        case C_FCN: return {"            :", AuxForm::Line};
        case C_EOS: return {"StructureEnd:", AuxForm::Function};
        case C_FILE: return {"FileName    :", AuxForm::File};
        default: return {"Auxiliary", AuxForm::None};
    }
}

}  // namespace

uint64_t symbol_record_position(const RunState& state, uint64_t j) {
    return uint64_t{state.fileHeader->f_symptr} + kSymbolRecordSize * j;
}

int16_t decode_symbol(RunState& state, uint32_t i) {
    const InputImage& image = state.image;
    const uint64_t p = symbol_record_position(state, i);
    if (i >= state.fileHeader->f_nsyms) throw MalformedInput("symbol " + std::to_string(i) + " (past f_nsyms)", p, image.size());
    require_in_image(image, p, kSymbolRecordSize, "symbol", i);
    const uint8_t* record = image.data() + p;
    SymbolEntry& s = *state.symbolEntry;
    if (read_be32(image, p) != 0) {
        copy_inline_name(s.n_name, record, sizeof s.n_name);
        s.n_offset = 0;  // shares bytes 4-7 with the name: never a leftover
    } else {
        std::memset(s.n_name, 0, sizeof s.n_name);
        s.n_offset = read_be32(image, p + 4);
    }
    s.n_value = read_be32(image, p + 8);
    s.n_scnum = read_be16(image, p + 12);
    s.n_type = read_be16(image, p + 14);
    s.n_sclass = record[16];
    s.n_numaux = record[17];

    if (state.debugMode) {
        const Name name = listing_name([&](Name& n) { symbol_name(state, n); });
        TextOut& out = state.out;
        out.hex(i, 8).put('|').left(name.view(), 32, 32);
        out.put('|').hex(s.n_value, 8).put('|').hex(s.n_scnum, 4).put(" |").hex(s.n_type, 4);
        out.left(type_class(state.targetFamily, s.n_type).typeCode, 4).put("|  ");
        out.hex(s.n_sclass, 2).put("  |  ").hex(s.n_numaux, 2).put("  |");
    }
    if (s.n_numaux != 0) decode_aux(state, i + 1);
    if (state.debugMode) state.out.put('\n');
    return s.n_numaux;
}

void decode_aux(RunState& state, uint32_t j) {
    const InputImage& image = state.image;
    const uint64_t p = symbol_record_position(state, j);
    if (j == 0 || j >= state.fileHeader->f_nsyms) {
        throw MalformedInput("auxiliary record " + std::to_string(j) + " (past f_nsyms)", p, image.size());
    }
    require_in_image(image, p, kSymbolRecordSize, "auxiliary record", j);
    const SymbolEntry& s = *state.symbolEntry;
    const AuxClass cls = aux_class(s.n_sclass, s.n_type);
    if (state.debugMode) state.out.put(cls.label);
    switch (cls.form) {
        case AuxForm::Line: decode_aux_line(state, p); break;
        case AuxForm::Function: decode_aux_function(state, p); break;
        case AuxForm::Array: decode_aux_array(state, p); break;
        case AuxForm::File: decode_aux_file(state, p); break;
        case AuxForm::None: break;  // the slot keeps what it held
    }
}

void decode_aux_line(RunState& state, uint64_t p) {
    const InputImage& image = state.image;
    require_in_image(image, p, kSymbolRecordSize, "auxiliary record");
    AuxLineForm& a = state.auxEntry->line;
    a.x_tagndx = read_be32(image, p);
    a.x_lnno = read_be16(image, p + 4);
    a.x_size = read_be16(image, p + 6);
    a.x_lnnoptr = read_be32(image, p + 8);
    a.x_endndx = read_be32(image, p + 12);
    a.x_tvndx = read_be16(image, p + 16);
    if (!state.debugMode) return;
    state.out.hex(a.x_tagndx, 8).put(' ').hex(a.x_lnno, 4).put(' ').hex(a.x_size, 4).put(' ');
    state.out.hex(a.x_lnnoptr, 8).put(' ').hex(a.x_endndx, 8).put("  ").hex(a.x_tvndx, 4);
}

void decode_aux_function(RunState& state, uint64_t p) {
    const InputImage& image = state.image;
    require_in_image(image, p, kSymbolRecordSize, "auxiliary record");
    AuxFunctionForm& a = state.auxEntry->function;
    a.x_tagndx = read_be32(image, p);
    a.x_fsize = read_be32(image, p + 4);
    a.x_lnnoptr = read_be32(image, p + 8);
    a.x_endndx = read_be32(image, p + 12);
    a.x_tvndx = read_be16(image, p + 16);
    if (!state.debugMode) return;
    state.out.hex(a.x_tagndx, 8).put(' ').hex(a.x_fsize, 8).put("  ").hex(a.x_lnnoptr, 8).put(' ');
    state.out.hex(a.x_endndx, 8).put("  ").hex(a.x_tvndx, 4);
}

void decode_aux_array(RunState& state, uint64_t p) {
    const InputImage& image = state.image;
    require_in_image(image, p, kSymbolRecordSize, "auxiliary record");
    AuxArrayForm& a = state.auxEntry->array;
    a.x_tagndx = read_be32(image, p);
    a.x_lnno = read_be16(image, p + 4);
    a.x_size = read_be16(image, p + 6);
    for (int d = 0; d < 4; ++d) a.x_dimen[d] = read_be16(image, p + 8 + 2 * d);
    a.x_tvndx = read_be16(image, p + 16);
    if (!state.debugMode) return;
    TextOut& out = state.out;
    out.hex(a.x_tagndx, 8).put(' ').hex(a.x_lnno, 4).put(' ').hex(a.x_size, 4);
    for (int d = 0; d < 4; ++d) out.put(' ').hex(a.x_dimen[d], 4);
    out.put("  ").hex(a.x_tvndx, 4);
}

void decode_aux_file(RunState& state, uint64_t p) {
    const InputImage& image = state.image;
    require_in_image(image, p, kSymbolRecordSize, "auxiliary record");
    AuxFileForm& a = state.auxEntry->file;
    if (read_be32(image, p) != 0) {
        copy_inline_name(a.x_fname, image.data() + p, sizeof a.x_fname);
        // x_offset shares bytes 4-7 with the name: NUL-filled when the copy
        // stopped early, never a leftover of an earlier record.
        a.x_offset = 0;
    } else {
        std::memset(a.x_fname, 0, 4);
        a.x_offset = read_be32(image, p + 4);
    }
    if (!state.debugMode) return;
    const Name name = listing_name([&](Name& n) { file_aux_name(state, n); });
    state.out.left(name.view(), 32, 32);
}

void symbol_name(const RunState& state, Name& out) {
    const SymbolEntry& s = *state.symbolEntry;
    resolve_name(state, s.n_name, sizeof s.n_name, s.n_offset, out);
}

void file_aux_name(const RunState& state, Name& out) {
    const AuxFileForm& a = state.auxEntry->file;
    resolve_name(state, a.x_fname, sizeof a.x_fname, a.x_offset, out);
}

}  // namespace dravont
