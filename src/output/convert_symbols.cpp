#include "output/convert_symbols.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "coff/headers.h"
#include "coff/line_numbers.h"
#include "coff/line_table.h"
#include "coff/symbols.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "listing/listing_strings.h"
#include "output/debugger_files.h"
#include "output/output_files.h"
#include "output/type_class_table.h"

namespace dravont {

namespace {

// A qualified name: symbol name, "@", qualifier. The symbol file shows at
// most 65 characters of it, and a qualifier loses at most one leading
// underscore, so keeping 66 characters keeps everything any later line can
// show. The bound also keeps nested static functions from growing it
// without limit.
class QualifiedName {
public:
    static constexpr size_t kKept = 66;

    void clear() { length_ = 0; }
    bool empty() const { return length_ == 0; }
    std::string_view view() const { return std::string_view(text_, length_); }
    QualifiedName& append(std::string_view s) {
        const size_t n = std::min(s.size(), kKept - length_);
        std::memcpy(text_ + length_, s.data(), n);
        length_ += n;
        return *this;
    }

private:
    char text_[kKept] = {};
    size_t length_ = 0;
};

// Records which line-number entries the pass has written. In a well-formed
// file functions' entries never overlap, so an entry written twice means the
// line pointers are corrupt (and could otherwise multiply the output).
class WrittenEntries {
public:
    // Returns false when the entry at this image position was written before.
    bool mark(uint64_t position, uint64_t imageSize) {
        if (!bits_) {
            // calloc leaves the zero pages untouched until a bit is set in
            // them, so only the line tables' share of the map costs memory.
            bits_.reset(static_cast<uint64_t*>(std::calloc(imageSize / 64 + 1, sizeof(uint64_t))));
            if (!bits_) throw std::bad_alloc();
        }
        uint64_t& word = bits_.get()[position / 64];
        const uint64_t bit = uint64_t{1} << (position % 64);
        if (word & bit) return false;
        word |= bit;
        return true;
    }

private:
    struct Free {
        void operator()(uint64_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint64_t, Free> bits_;
};

class ConversionPass {
public:
    explicit ConversionPass(RunState& state)
        : state_(state), out_(state.out), files_(state) {}

    void walk();

private:
    void on_external();
    void on_static();
    void on_function_begin(uint32_t index);
    void on_source_file();
    void remember_function(std::string_view name);
    void write_line_record(uint32_t address, uint32_t line, uint64_t entryPosition,
                           uint32_t bfIndex);
    void require_line_table(uint16_t scnum, uint64_t tableEnd, uint32_t bfIndex) const;
    void walk_function_lines(uint32_t baseLine, uint64_t tableEnd, uint32_t bfIndex);
    void banner(const char* which);

    RunState& state_;
    TextOut& out_;
    DebuggerFiles files_;

    std::string currentFileName;
    QualifiedName currentFunction;
    uint32_t functionEndIndex = 0;
    uint32_t functionAddress = 0;
    uint32_t functionLinePointer = 0;
    bool functionHasLines = false;  // the last function symbol had a line pointer
    QualifiedName qualifiedName;
    WrittenEntries written_;
};

void ConversionPass::walk() {
    for (uint32_t index = 0; index < state_.fileHeader->f_nsyms;) {
        if (index >= functionEndIndex) currentFunction.clear();
        const uint32_t symbolIndex = index;
        const int16_t numaux = decode_symbol(state_, index);
        const uint64_t next = uint64_t{index} + static_cast<uint64_t>(numaux) + 1;
        switch (state_.symbolEntry->n_sclass) {
            case C_EXT: on_external(); break;
            case C_STAT: on_static(); break;
            case C_FCN: on_function_begin(symbolIndex); break;
            case C_FILE: on_source_file(); break;
            default: break;
        }
        if (next > UINT32_MAX) break;
        index = static_cast<uint32_t>(next);
    }
}

void ConversionPass::remember_function(std::string_view name) {
    const SymbolEntry& s = *state_.symbolEntry;
    if (s.n_numaux == 0 || (s.n_type & N_TMASK) != DT_FCN) return;
    const AuxFunctionForm& aux = state_.auxEntry->function;
    currentFunction.clear();
    currentFunction.append(name);
    functionEndIndex = aux.x_endndx;
    functionHasLines = aux.x_lnnoptr != 0;
    if (functionHasLines) {
        functionAddress = s.n_value;
        functionLinePointer = aux.x_lnnoptr;
    }
}

void ConversionPass::on_external() {
    if (state_.symbolEntry->n_type == 0) return;  // untyped externals are not written
    Name name;
    symbol_name(state_, name);
    qualifiedName.clear();
    qualifiedName.append(name.view());
    const SymbolEntry& s = *state_.symbolEntry;
    files_.external_symbol(s.n_value, qualifiedName.view(),
                           type_class(state_.targetFamily, s.n_type).sizeClass);
    remember_function(qualifiedName.view());
}

void ConversionPass::on_static() {
    // Section symbols (.text, .data, .bss) and untyped labels are not written.
    if (state_.symbolEntry->n_type == 0) return;
    Name name;
    symbol_name(state_, name);
    qualifiedName.clear();
    qualifiedName.append(name.view()).append("@");
    if (currentFunction.empty()) {
        qualifiedName.append(currentFileName);
    } else {
        std::string_view scope = currentFunction.view();
        if (scope.front() == '_') scope.remove_prefix(1);
        qualifiedName.append(scope);
    }
    const SymbolEntry& s = *state_.symbolEntry;
    files_.static_symbol(s.n_value, qualifiedName.view(),
                         type_class(state_.targetFamily, s.n_type).sizeClass);
    remember_function(qualifiedName.view());
}

void ConversionPass::banner(const char* which) {
    out_.put("\n************************ Line Information ").put(which).put(' ');
    out_.put(currentFileName).put("  ************************\n\n");
}

void ConversionPass::write_line_record(uint32_t address, uint32_t line, uint64_t entryPosition,
                                       uint32_t bfIndex) {
    if (!written_.mark(entryPosition, state_.image.size())) {
        throw MalformedInput("line-number entry written twice, for the .bf at symbol " +
                                 std::to_string(bfIndex),
                             entryPosition, state_.image.size());
    }
    if (state_.lineEntryLog) state_.lineEntryLog->push_back(entryPosition);
    files_.line_record(address, line);
}

void ConversionPass::on_function_begin(uint32_t index) {
    const SymbolEntry& s = *state_.symbolEntry;
    if (std::memcmp(s.n_name, ".bf", 4) != 0) return;  // .ef, .bb, .eb and others
    if (s.n_numaux == 0) return;                       // no line to start from
    const uint32_t baseLine = state_.auxEntry->line.x_lnno;
    if (baseLine == 0) return;
    // A function without line information has nothing to write; the values
    // remembered from an earlier function belong to that function.
    if (!functionHasLines) return;
    // In debug mode the line decoder replaces the symbol slot with the
    // function's symbol: keep what is needed of the .bf entry.
    const uint16_t scnum = s.n_scnum;
    const uint64_t bfPosition = symbol_record_position(state_, index);

    if (state_.debugMode) banner("Start");
    decode_line_entry(state_, functionLinePointer, 0);
    if (state_.debugMode) out_.put('\n');
    write_line_record(functionAddress, baseLine, functionLinePointer, index);

    const uint16_t nscns = state_.fileHeader->f_nscns;
    if (scnum == 0 || scnum == 0xFFFF || scnum == 0xFFFE || scnum > nscns) {
        throw MalformedInput(".bf at symbol " + std::to_string(index) + ": section number " +
                                 std::to_string(scnum) + " names no section",
                             bfPosition, state_.image.size());
    }
    decode_section_header(state_, static_cast<uint16_t>(scnum - 1));
    const uint64_t tableEnd = line_table_end(state_);
    require_line_table(scnum, tableEnd, index);
    if (state_.debugMode) out_.put("     Line Base Number ------------>").dec(baseLine, 5).put('\n');
    walk_function_lines(baseLine, tableEnd, index);
    if (state_.debugMode) banner("End");
}

// The walk reads the function's entries up to its section's table end: that
// table must lie in the file, and the function's entries inside it.
void ConversionPass::require_line_table(uint16_t scnum, uint64_t tableEnd, uint32_t bfIndex) const {
    const uint64_t tableStart = state_.sectionHeader->s_lnnoptr;
    const uint64_t size = state_.image.size();
    if (tableEnd > size) {
        throw MalformedInput("line-number table of section " + std::to_string(scnum), tableStart, size);
    }
    if (functionLinePointer < tableStart || functionLinePointer >= tableEnd) {
        throw MalformedInput("line pointer of the function of the .bf at symbol " +
                                 std::to_string(bfIndex) + ", outside the table of section " +
                                 std::to_string(scnum),
                             functionLinePointer, size);
    }
}

void ConversionPass::walk_function_lines(uint32_t baseLine, uint64_t tableEnd, uint32_t bfIndex) {
    for (uint32_t k = 1;; ++k) {
        const uint64_t position = uint64_t{functionLinePointer} + uint64_t{kLineEntrySize} * k;
        if (position >= tableEnd) return;
        decode_line_entry(state_, functionLinePointer, k);
        const LineEntry& e = *state_.lineEntry;
        if (e.l_lnno == 0) return;  // the next function's first entry
        write_line_record(e.l_addr, e.l_lnno + baseLine - 1, position, bfIndex);
    }
}

void ConversionPass::on_source_file() {
    currentFileName.clear();
    // Without an auxiliary record there is no file name: treated as "fake".
    if (state_.symbolEntry->n_numaux == 0) return;
    Name name;
    file_aux_name(state_, name);
    currentFileName.assign(name.view());
    if (currentFileName == "fake") {
        currentFileName.clear();
        return;
    }
    // Library sources still qualify their statics, but get no marker.
    if (currentFileName.find("newlib/lib") != std::string::npos) return;
    files_.file_marker(currentFileName);
}

}  // namespace

void convert_symbols(RunState& state) {
    if (state.debugMode) {
        state.out.put(symbolTableRule).put('\n').put(symbolTableHeading).put('\n');
        state.out.put(symbolTableRule).put('\n');
    }
    state.outputs->open(state);
    ConversionPass pass(state);
    pass.walk();
    state.outputs->close();
}

}  // namespace dravont
