// The two files the target debugger loads, written line by line. Both input
// formats hand their results to this writer, so each layout exists once.
//
// Symbol file: "%08lX % 32.32-s" + 34 blanks + "%- 6s\n" for an external,
// "%08lX % 65.65-s %- 6s\n" for a qualified static; the size class always
// starts in column 76. Line file: "**** NAME\n" markers and "%08lX % 5lu\n"
// address/line records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/run_state.h"
#include "common/text_out.h"
#include "output/output_files.h"

namespace dravont {

class DebuggerFiles {
public:
    explicit DebuggerFiles(RunState& state) {
        set_target(state.outputs->symbols(), state.outputs->lines(), state.symbolCount, state.lineCount);
    }
    // A writer with no target yet: set_target gives it one.
    DebuggerFiles() = default;
    // Writes into the given texts and counts into the given counters from
    // now on: a part of the files made apart from them, put in place later.
    void set_target(TextOut& symbols, TextOut& lines, int16_t& symbolCount, int16_t& lineCount) {
        symbols_ = &symbols;
        lines_ = &lines;
        symbolCount_ = &symbolCount;
        lineCount_ = &lineCount;
    }

    void external_symbol(uint32_t value, std::string_view name, std::string_view sizeClass) {
        if (sizeClass.size() <= kClassWidth) return symbol_line(value, name, 32, sizeClass);
        symbols_->hex(value, 8).put(' ').left(name, 32, 32).put("                                  ");
        end_symbol(sizeClass);
    }
    void static_symbol(uint32_t value, std::string_view qualifiedName, std::string_view sizeClass) {
        if (sizeClass.size() <= kClassWidth) return symbol_line(value, qualifiedName, 65, sizeClass);
        symbols_->hex(value, 8).put(' ').left(qualifiedName, 65, 65).put(' ');
        end_symbol(sizeClass);
    }
    void file_marker(std::string_view name) { lines_->put("**** ").put(name).put('\n'); }
    void line_record(uint32_t address, uint32_t line) {
        if (line < TextOut::field_limit(5)) {  // the usual record: 15 characters in one go
            char* p = lines_->reserve(15);
            put_hex8(p, address);
            p[8] = ' ';
            put_dec5(p + 9, line);
            p[14] = '\n';
            lines_->advance(15);
        } else {
            lines_->hex(address, 8).put(' ').dec(line, 5).put('\n');
        }
        ++*lineCount_;  // 16-bit: wraps past 32767
    }

private:
    static constexpr size_t kClassWidth = 6;
    static constexpr size_t kClassColumn = 75;                      // from 0
    static constexpr size_t kSymbolLine = kClassColumn + kClassWidth + 1;

    // The usual symbol line (a size class that fits its field): blanks
    // first, then value, name and size class put in place, in one go.
    void symbol_line(uint32_t value, std::string_view name, size_t nameWidth, std::string_view sizeClass) {
        char* p = symbols_->reserve(kSymbolLine);
        std::memset(p + 8, ' ', kSymbolLine - 9);
        put_hex8(p, value);
        if (name.size() > nameWidth) name = name.substr(0, nameWidth);
        if (!name.empty()) std::memcpy(p + 9, name.data(), name.size());  // an empty view may hold null
        if (!sizeClass.empty()) std::memcpy(p + kClassColumn, sizeClass.data(), sizeClass.size());
        p[kSymbolLine - 1] = '\n';
        symbols_->advance(kSymbolLine);
        ++*symbolCount_;  // 16-bit: wraps past 32767
    }

    void end_symbol(std::string_view sizeClass) {
        symbols_->left(sizeClass, 6).put('\n');
        ++*symbolCount_;  // 16-bit: wraps past 32767
    }

    TextOut* symbols_ = nullptr;
    TextOut* lines_ = nullptr;
    int16_t* symbolCount_ = nullptr;
    int16_t* lineCount_ = nullptr;
};

}  // namespace dravont
