// Decoders of the symbol table: symbol records, their first auxiliary
// record in one of four forms, and symbol and source-file names.
#pragma once

#include <cstdint>
#include <string_view>

namespace dravont {

struct RunState;

// A symbol or file name as the tool uses it: at most 32 characters.
struct Name {
    static constexpr size_t kMaxLength = 32;
    char text[kMaxLength + 1] = {};
    size_t length = 0;

    std::string_view view() const { return std::string_view(text, length); }
};

// Position of symbol-table record j (symbol or auxiliary) in the file.
uint64_t symbol_record_position(const RunState& state, uint64_t j);

// Replaces the SymbolEntry slot with record i and, when it has auxiliary
// records, the AuxEntry slot with the first of them (in the form its class
// and type choose). Prints the symbol's listing row in debug mode. Returns
// n_numaux; the caller's next symbol is i + n_numaux + 1.
int16_t decode_symbol(RunState& state, uint32_t i);

// Decodes auxiliary record j, the one after the symbol in the SymbolEntry
// slot, in the form chosen from that symbol. Called by decode_symbol only.
void decode_aux(RunState& state, uint32_t j);

// The four form decoders; each reads the record at `position`.
void decode_aux_line(RunState& state, uint64_t position);
void decode_aux_function(RunState& state, uint64_t position);
void decode_aux_array(RunState& state, uint64_t position);
void decode_aux_file(RunState& state, uint64_t position);

// Name of the symbol in the SymbolEntry slot: inline (up to 8 characters) or
// from the string table, cut after 32 characters.
void symbol_name(const RunState& state, Name& out);
// Source-file name held by the AuxEntry slot's file form: inline (up to 14
// characters) or from the string table, cut after 32 characters.
void file_aux_name(const RunState& state, Name& out);

}  // namespace dravont
