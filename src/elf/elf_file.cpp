#include "elf/elf_file.h"

#include <algorithm>
#include <cstring>

#include "coff/input_image.h"
#include "common/diagnostics.h"
#include "common/elf_messages.h"
#include "common/messages.h"
#include "common/run_error.h"
#include "common/text_out.h"

namespace dravont {

namespace {

// The machines a wrong input is most often built for, by e_machine.
const char* machine_name(uint16_t machine) {
    static const struct {
        uint16_t number;
        const char* name;
    } kMachines[] = {
        {2, "SPARC"},       {3, "x86"},          {4, "68000"},          {8, "MIPS"},
        {20, "PowerPC"},    {21, "PowerPC64"},   {22, "S/390"},         {40, "ARM"},
        {43, "SPARC V9"},   {47, "H8/300H"},     {48, "H8S"},           {49, "H8/500"},
        {50, "IA-64"},      {52, "ColdFire"},    {53, "68HC12"},        {62, "x86-64"},
        {70, "68HC11"},     {83, "AVR"},         {87, "V850"},          {88, "M32R"},
        {92, "OpenRISC"},   {93, "ARC"},         {94, "Xtensa"},        {105, "MSP430"},
        {106, "Blackfin"},  {113, "Nios II"},    {164, "Hexagon"},      {173, "RX"},
        {183, "AArch64"},   {189, "MicroBlaze"}, {243, "RISC-V"},       {247, "BPF"},
        {258, "LoongArch"},
    };
    for (const auto& m : kMachines) {
        if (m.number == machine) return m.name;
    }
    return nullptr;
}

// What a refused header field's value means, and what to do instead.
Diagnostic refusal(const std::string& inputName, const char* field, uint64_t value) {
    const std::string number = std::to_string(value);
    const std::string f = field;
    Said meaning, fix = Said(msg::kFixElfMachine);
    if (f == "EI_CLASS") {
        meaning = value == 2 ? Said(msg::kElf64) : Said(msg::kElfBadClass, {number});
    } else if (f == "EI_DATA") {
        meaning = Said(msg::kElfBadData, {number});
    } else if (f == "e_type") {
        meaning = value == 1   ? Said(msg::kElfRelocatable)
                  : value == 3 ? Said(msg::kElfShared)
                  : value == 4 ? Said(msg::kElfCore)
                               : Said(msg::kElfOtherType, {number});
        fix = value == 1 ? Said(msg::kFixLinkExecutable) : value == 3 ? Said(msg::kFixElfShared) : Said();
    } else {
        const char* name = machine_name(static_cast<uint16_t>(value));
        meaning = name ? Said(msg::kElfMachine, {number, name}) : Said(msg::kElfUnknownMachine, {number});
    }
    return {Said(msg::kSaidNotExecutable, {inputName, meaning}), {}, fix};
}

// Refuses a file that is ELF but not an input of ours, naming what was found.
[[noreturn]] void refuse(const std::string& inputName, bool utf8, const char* field, uint64_t value) {
    TextOut text;
    text.set_utf8(utf8);
    text.put(inputName).put(msg::kNotExecutable).put(' ').put(field).put('=').dec(value).put("\n\n");
    throw RunFailure(text.take(), refusal(inputName, field, value));
}

}  // namespace

bool is_elf_image(const InputImage& image) {
    return image.size() >= 4 && image.data()[0] == 0x7F && image.data()[1] == 'E' &&
           image.data()[2] == 'L' && image.data()[3] == 'F';
}

ElfFile::ElfFile(const InputImage& image, const std::string& inputName, bool utf8)
    : inputName_(inputName), utf8_(utf8) {
    whole_.data = image.data();
    whole_.size = image.size();
    whole_.fileSize = image.size();
    whole_.name = "ELF header";
    whole_.present = true;
    decode_header(inputName, utf8);
    decode_sections();
}

void ElfFile::decode_header(const std::string& inputName, bool utf8) {
    ByteReader r(whole_, ByteOrder::Big);
    if (!whole_.contains(0, 16)) r.fail("e_ident", 0);
    header_.ei_class = whole_.data[4];
    header_.ei_data = whole_.data[5];
    header_.ei_version = whole_.data[6];
    if (header_.ei_class != ELFCLASS32) refuse(inputName, utf8, "EI_CLASS", header_.ei_class);
    if (header_.ei_data != ELFDATA2LSB && header_.ei_data != ELFDATA2MSB) {
        refuse(inputName, utf8, "EI_DATA", header_.ei_data);
    }
    order_ = header_.ei_data == ELFDATA2MSB ? ByteOrder::Big : ByteOrder::Little;
    ByteReader h(whole_, order_, 16);
    header_.e_type = h.u16();
    header_.e_machine = h.u16();
    header_.e_version = h.u32();
    header_.e_entry = h.u32();
    header_.e_phoff = h.u32();
    header_.e_shoff = h.u32();
    header_.e_flags = h.u32();
    header_.e_ehsize = h.u16();
    header_.e_phentsize = h.u16();
    header_.e_phnum = h.u16();
    header_.e_shentsize = h.u16();
    header_.e_shnum = h.u16();
    header_.e_shstrndx = h.u16();
    if (header_.e_type != ET_EXEC) refuse(inputName, utf8, "e_type", header_.e_type);
    if (header_.e_machine != EM_SH && header_.e_machine != EM_H8_300) {
        refuse(inputName, utf8, "e_machine", header_.e_machine);
    }
}

void ElfFile::decode_sections() {
    ByteReader r(whole_, order_);
    if (header_.e_shoff == 0) return;  // no section table: no sections, no DWARF
    if (header_.e_shentsize != kElfSectionHeaderSize) r.fail("e_shentsize", 46);
    auto read_header = [&](uint64_t index) {
        const uint64_t at = uint64_t{header_.e_shoff} + index * kElfSectionHeaderSize;
        if (!whole_.contains(at, kElfSectionHeaderSize)) {
            r.fail("section header " + std::to_string(index), at);
        }
        r.seek(at);
        ElfSectionHeader s{};
        s.sh_name = r.u32();
        s.sh_type = r.u32();
        s.sh_flags = r.u32();
        s.sh_addr = r.u32();
        s.sh_offset = r.u32();
        s.sh_size = r.u32();
        s.sh_link = r.u32();
        s.sh_info = r.u32();
        s.sh_addralign = r.u32();
        s.sh_entsize = r.u32();
        return s;
    };
    // Extended numbering: with 0 in e_shnum or SHN_XINDEX in e_shstrndx the
    // real values stand in section header 0.
    uint64_t count = header_.e_shnum;
    uint64_t names = header_.e_shstrndx;
    if (count == 0 || names == SHN_XINDEX) {
        const ElfSectionHeader first = read_header(0);
        if (count == 0) count = first.sh_size;
        if (names == SHN_XINDEX) names = first.sh_link;
    }
    // The whole table must lie in the file before anything is allocated for it.
    const uint64_t tableEnd = uint64_t{header_.e_shoff} + count * kElfSectionHeaderSize;
    if (count > whole_.size || tableEnd > whole_.size) r.fail("section header table", header_.e_shoff);
    sections_.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) sections_.push_back(read_header(i));
    if (names == SHN_UNDEF) return;  // sections without names
    if (names >= count) r.fail("e_shstrndx", 50);
    ElfSectionHeader& strings = sections_[static_cast<size_t>(names)];
    ByteSpan table = span(&strings);
    for (ElfSectionHeader& s : sections_) s.name = string_at(table, s.sh_name, "section name");
}

const ElfSectionHeader* ElfFile::find(std::string_view name) const {
    for (const ElfSectionHeader& s : sections_) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const ElfSectionHeader* ElfFile::find_debug(std::string_view name) const {
    if (const ElfSectionHeader* s = find(name)) return s;
    constexpr std::string_view kDebug = ".debug_";
    if (name.substr(0, kDebug.size()) != kDebug) return nullptr;
    return find(std::string(".z").append(name.substr(1)));
}

// The section's bytes as the file stores them.
ByteSpan ElfFile::stored(const ElfSectionHeader& section) const {
    ByteSpan s;
    s.fileSize = whole_.size;
    s.name = section.name.empty() ? std::string_view("section") : section.name;
    s.fileOffset = section.sh_offset;
    s.present = true;
    if (section.sh_type == SHT_NOBITS) return s;
    if (!whole_.contains(section.sh_offset, section.sh_size)) {
        ByteReader(whole_, order_).fail(std::string("data of section ").append(s.name), section.sh_offset);
    }
    s.data = whole_.data + section.sh_offset;
    s.size = section.sh_size;
    return s;
}

ByteSpan ElfFile::span(const ElfSectionHeader* section) const {
    if (!section) {
        ByteSpan s;
        s.fileSize = whole_.size;
        return s;
    }
    const ByteSpan raw = stored(*section);
    if (section->sh_type == SHT_NOBITS || !is_compressed_section(section->sh_flags, section->name)) return raw;
    return inflated(*section, raw);
}

CompressionHeader ElfFile::compression(const ElfSectionHeader& section) const {
    return read_compression_header(stored(section), order_, !(section.sh_flags & SHF_COMPRESSED));
}

ByteSpan ElfFile::inflated(const ElfSectionHeader& section, ByteSpan raw) const {
    const size_t number = static_cast<size_t>(&section - sections_.data());
    auto done = inflated_.find(number);
    if (done == inflated_.end()) {
        const CompressionHeader header = compression(section);
        if (header.kind == Compression::Zstd && !zstd_supported()) {
            TextOut text;
            text.set_utf8(utf8_);
            text.put(inputName_).put(msg::kZstdNotBuilt).put('\n');
            text.put("section ").put(raw.name).put(" is compressed with zstd, which this build of dravont ");
            text.put("does not read;\nlink with --compress-debug-sections=zlib, or use a build with libzstd\n\n");
            throw RunFailure(text.take(), {Said(msg::kSaidZstd, {inputName_, std::string(raw.name)}), {},
                                           Said(msg::kFixZstd), true});
        }
        if (inflated_.empty()) check_declared_sizes();
        Inflated result{inflate_section(raw, header, inflatedTotal_), std::string(raw.name) + " (inflated)"};
        inflatedTotal_ += result.bytes.size;
        done = inflated_.emplace(number, std::move(result)).first;
    }
    ByteSpan s;
    s.data = done->second.bytes.data.get();
    s.size = done->second.bytes.size;
    s.fileSize = whole_.size;
    s.name = done->second.name;
    s.present = true;
    return s;
}

void ElfFile::check_declared_sizes() const {
    uint64_t declared = 0;
    for (const ElfSectionHeader& section : sections_) {
        if (section.sh_type == SHT_NOBITS || !is_compressed_section(section.sh_flags, section.name)) continue;
        CompressionHeader header;
        ByteSpan raw;
        try {
            raw = stored(section);
            header = compression(section);
        } catch (const MalformedInput&) {
            continue;  // reported when the section is read, if it is
        }
        check_inflated_total(raw, header, declared);
        declared += header.size;
    }
}

const ElfSectionHeader* ElfFile::symbol_table() const {
    for (const ElfSectionHeader& s : sections_) {
        if (s.sh_type == SHT_SYMTAB) return &s;
    }
    return nullptr;
}

bool ElfFile::has_symbols() const { return symbol_table() != nullptr; }

uint64_t ElfFile::symbol_count() const {
    const ElfSectionHeader* table = symbol_table();
    return table ? std::min<uint64_t>(table->sh_size, whole_.size) / kElfSymbolSize : 0;
}

void ElfFile::index_symbols() const {
    symbolsIndexed_ = true;
    const ElfSectionHeader* table = symbol_table();
    if (!table) return;
    if (table->sh_link >= sections_.size()) ByteReader(whole_, order_).fail("sh_link of .symtab", table->sh_offset);
    const ByteSpan symbols = span(table);
    strtabSpan_ = span(&sections_[table->sh_link]);
    symtab_.data = symbols.data;
    // A table of more than 2^32 entries cannot fit in a 32-bit file.
    symtab_.count = static_cast<uint32_t>(symbols.size / kElfSymbolSize);
    symtab_.order = order_;
}

// Calls visit(name) for each symbol at `value` until it returns true.
template <typename Visit>
void ElfFile::visit_symbols_at(uint32_t value, Visit&& visit) const {
    if (!symbolsIndexed_) index_symbols();
    auto name_of = [this](uint32_t n) { return string_at(strtabSpan_, symtab_.name(n), "symbol name"); };
    // The label prefix is nearly always decided by the first function asked
    // about: a few linear scans cost less than indexing a large table.
    if (lookups_.fetch_add(1, std::memory_order_relaxed) < kLinearLookups) {
        // The value as the table spells it, compared with each st_value's
        // bytes as they stand.
        const uint8_t spelled[4] = {
            static_cast<uint8_t>(symtab_.order == ByteOrder::Big ? value >> 24 : value),
            static_cast<uint8_t>(symtab_.order == ByteOrder::Big ? value >> 16 : value >> 8),
            static_cast<uint8_t>(symtab_.order == ByteOrder::Big ? value >> 8 : value >> 16),
            static_cast<uint8_t>(symtab_.order == ByteOrder::Big ? value : value >> 24)};
        const uint8_t* entry = symtab_.data + kElfSymbolSize;
        for (uint32_t n = 1; n < symtab_.count; ++n, entry += kElfSymbolSize) {
            if (std::memcmp(entry + 4, spelled, 4) != 0 || !symtab_.names_an_address(n)) continue;
            if (visit(name_of(n))) return;
        }
        return;
    }
    std::call_once(byValueBuilt_, [this] { byValue_.build(symtab_); });
    byValue_.visit(symtab_, value, [&](uint32_t n) { return visit(name_of(n)); });
}

std::vector<FunctionSymbol> ElfFile::function_symbols() const {
    std::vector<FunctionSymbol> functions;
    // A table that cannot be read gives none here; the lookups that need it
    // report it.
    if (!index_for_threads() || !symtab_.data) return functions;
    const bool h8 = header_.e_machine == EM_H8_300;
    for (uint32_t n = 1; n < symtab_.count; ++n) {
        const uint8_t* p = symtab_.data + uint64_t{n} * kElfSymbolSize;
        const uint8_t type = p[12] & 0xF;
        const uint16_t shndx = symtab_.order == ByteOrder::Big ? static_cast<uint16_t>(p[14] << 8 | p[15])
                                                               : static_cast<uint16_t>(p[15] << 8 | p[14]);
        const uint32_t size = symtab_.word(n, 8);
        if (shndx == SHN_UNDEF) continue;
        if (type != STT_FUNC) {
            if (!h8 || type != STT_NOTYPE || size == 0 || shndx >= sections_.size() ||
                !(sections_[shndx].sh_flags & SHF_EXECINSTR)) {
                continue;
            }
        }
        const uint64_t at = symtab_.name(n);
        if (at >= strtabSpan_.size) continue;
        const void* end = std::memchr(strtabSpan_.data + at, 0, static_cast<size_t>(strtabSpan_.size - at));
        if (!end) continue;
        const char* name = reinterpret_cast<const char*>(strtabSpan_.data + at);
        functions.push_back({std::string_view(name, static_cast<size_t>(static_cast<const char*>(end) - name)),
                             symtab_.value(n), size});
    }
    return functions;
}

std::vector<std::string_view> ElfFile::symbols_at(uint32_t value) const {
    std::vector<std::string_view> names;
    visit_symbols_at(value, [&](std::string_view name) {
        names.push_back(name);
        return false;
    });
    return names;
}

bool ElfFile::index_for_threads() const {
    try {
        if (!symbolsIndexed_) index_symbols();
    } catch (const MalformedInput&) {
        symbolsIndexed_ = false;  // the first lookup meets the fault again and reports it
        return false;
    }
    return true;
}

void ElfFile::build_name_filter() const {
    if (!symbolsIndexed_) index_symbols();
    std::call_once(namesBuilt_, [this] { names_.build(symtab_, strtabSpan_); });
}

bool ElfFile::has_symbol_at(uint32_t value, std::string_view name) const {
    build_name_filter();
    if (!names_.may_hold(value, name)) return false;
    bool found = false;
    visit_symbols_at(value, [&](std::string_view s) { return found = s == name; });
    return found;
}

}  // namespace dravont
