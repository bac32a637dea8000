// The ELF container of an input: header, section table and symbol table,
// decoded through bounded readers over the image.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_reader.h"
#include "elf/compressed_section.h"
#include "elf/elf_records.h"
#include "elf/symbol_index.h"

namespace dravont {

struct InputImage;

// True when the image starts with the ELF magic 0x7F 'E' 'L' 'F'.
bool is_elf_image(const InputImage& image);

class ElfFile {
public:
    // Decodes the header and the section table. A file that is not a 32-bit
    // ET_EXEC for SH or the H8/300 family throws RunFailure with the
    // not-executable message (naming the field found); a header or table
    // outside the file throws MalformedInput.
    ElfFile(const InputImage& image, const std::string& inputName, bool utf8);

    const ElfHeader& header() const { return header_; }
    ByteOrder order() const { return order_; }
    const std::vector<ElfSectionHeader>& sections() const { return sections_; }

    // The first section of that name, or null.
    const ElfSectionHeader* find(std::string_view name) const;
    // A DWARF section by its name (".debug_info"): the section of that name,
    // else its compressed GNU twin (".zdebug_info"), else null.
    const ElfSectionHeader* find_debug(std::string_view name) const;
    // The bytes of a section as a span named by the section; an absent or
    // SHT_NOBITS section gives an empty span. A compressed section is
    // inflated once into a buffer the file keeps; the span then has no file
    // offset (its offsets count from the start of the inflated data) and its
    // name says so. Throws MalformedInput when the section's data lies
    // outside the file or does not inflate, and RunFailure for a zstd
    // section in a build without zstd.
    ByteSpan span(const ElfSectionHeader* section) const;
    // The header of a compressed section (is_compressed_section). Throws
    // MalformedInput when it cannot be read.
    CompressionHeader compression(const ElfSectionHeader& section) const;

    // True when the file has a symbol table (SHT_SYMTAB).
    bool has_symbols() const;
    // The number of entries its size gives the symbol table; 0 without one.
    uint64_t symbol_count() const;
    // The symbols whose st_value equals `value`, by name (st_name resolved);
    // file, section and undefined symbols are not counted: their values are
    // no addresses of code or data. The first few lookups scan the table;
    // later ones use an index of it by value.
    std::vector<std::string_view> symbols_at(uint32_t value) const;
    // True when one of symbols_at(value) is spelled `name`. A filter of the
    // table's (value, name) pairs answers most of these without a lookup.
    bool has_symbol_at(uint32_t value, std::string_view name) const;
    // The symbols that name functions, in table order: STT_FUNC symbols of
    // a section and, in an H8 file (whose compiler types no symbol), NOTYPE
    // symbols with a size in an executable section. Symbols whose names
    // cannot be read are left out; an unreadable table gives none.
    std::vector<FunctionSymbol> function_symbols() const;
    // Finds the symbol table now, which the two lookups above would do
    // unguarded when first asked; afterwards several threads may ask at
    // once (the indexes they build later are built once, whoever asks).
    // False when the symbol table cannot be read: the first lookup reports
    // that, as it would have.
    bool index_for_threads() const;
    // Builds the filter has_symbol_at asks first, which takes a while on a
    // large table: a thread with nothing else to do can build it ahead.
    void build_name_filter() const;

private:
    void decode_header(const std::string& inputName, bool utf8);
    void decode_sections();
    const ElfSectionHeader* symbol_table() const;
    void index_symbols() const;
    template <typename Visit>
    void visit_symbols_at(uint32_t value, Visit&& visit) const;
    static constexpr unsigned kLinearLookups = 8;

    ByteSpan stored(const ElfSectionHeader& section) const;
    ByteSpan inflated(const ElfSectionHeader& section, ByteSpan raw) const;

    std::string inputName_;
    bool utf8_ = false;
    ByteSpan whole_;
    ByteOrder order_ = ByteOrder::Big;
    ElfHeader header_{};
    std::vector<ElfSectionHeader> sections_;

    mutable bool symbolsIndexed_ = false;
    // Lookups so far: the first few scan the table, the next one indexes it
    // (once, whichever thread gets there first).
    mutable std::atomic<uint64_t> lookups_{0};
    mutable std::once_flag byValueBuilt_;
    mutable SymbolTableView symtab_;
    mutable SymbolsByValue byValue_;
    mutable SymbolNameFilter names_;
    mutable std::once_flag namesBuilt_;
    mutable ByteSpan strtabSpan_;

    // Inflated compressed sections, by section number.
    struct Inflated {
        InflatedBytes bytes;
        std::string name;  // the span's name
    };
    // Refuses the file when the compressed sections' declared sizes together
    // pass the cap, before the first of them is inflated.
    void check_declared_sizes() const;
    mutable std::map<size_t, Inflated> inflated_;
    mutable uint64_t inflatedTotal_ = 0;
};

}  // namespace dravont
