#include "driver/file_names.h"

#include <filesystem>
#include <system_error>

#include "common/messages.h"
#include "common/run_state.h"

namespace dravont {

namespace {

void print_check_block(RunState& state, const std::string& name, int yen, int dot, int fn,
                       int ext, int i) {
    TextOut& out = state.out;
    out.put("------- Check File Name -------\n");
    out.put(msg::kCheckFile).put(name).put('\n');
    out.put("yen:").sdec(yen).put('\n');
    out.put("dot:").sdec(dot).put('\n');
    out.put("fn :").sdec(fn).put('\n');
    out.put("ext:").sdec(ext).put('\n');
    out.put("i  :").sdec(i).put('\n');
    out.put(msg::kBlockEnd);
}

// The file read for an input name without extension: NAME.coff, or NAME
// itself when only NAME exists as a regular file (an ELF executable is
// usually named without extension).
std::string input_without_extension(const std::string& name) {
    std::string withCoff = name + ".coff";
    std::error_code ec;
    if (std::filesystem::exists(withCoff, ec)) return withCoff;
    if (std::filesystem::is_regular_file(name, ec)) return name;
    return withCoff;
}

}  // namespace

int check_file_name(RunState& state, const std::string& name) {
    // Counters over the current path component; `i` ends as the name's length.
    int yen = 0, dot = 0, fn = 0, ext = 0, i = 0;
    bool endsInSlash = false;
    for (const char c : name) {
        if (c == '\0') break;  // the name ends at its first NUL, as a C string would
        endsInSlash = c == '/';
        if (c == '\\') {
            dot = fn = ext = 0;
            if (++yen > 1) return -1;
        } else if (c == '/') {
            // POSIX and Windows both take the slash as a separator, and POSIX
            // reads "a//b" as "a/b": it starts a new component but is not
            // counted as a backslash.
            yen = dot = fn = ext = 0;
        } else {
            yen = 0;
            if (c == '.') {
                if (++dot > 2) return -1;
                ext = 0;
            } else if (dot == 0) {
                ++fn;
            } else if (dot == 1) {
                if (fn == 0) return -1;  // a character after a leading dot
                ++ext;
            } else {
                return -1;  // a character after the second dot
            }
        }
        ++i;
    }
    if (state.debugMode) print_check_block(state, name, yen, dot, fn, ext, i);
    if (yen != 0 || endsInSlash) return -2;
    if (dot == 1) return ext == 0 ? -1 : i - ext - 1;
    return 0;
}

int16_t resolve_file_names(RunState& state) {
    TextOut& out = state.out;
    if (state.inputName.empty()) {
        out.put_failure("", msg::kNoInputName, msg::kUsageLine);
        return -1;
    }
    const int stat_i = check_file_name(state, state.inputName);
    if (stat_i == -1) {
        out.put_failure(state.inputName, msg::kBadInputName);
        return -1;
    }
    if (stat_i == -2) {
        out.put_failure("", msg::kNoInputName);
        return -1;
    }
    int stat_o = 0;  // shown as 0 when no output name was given
    const std::string* source = &state.inputName;
    int sourceStatus = stat_i;
    if (!state.outputName.empty()) {
        stat_o = check_file_name(state, state.outputName);
        if (stat_o == -1) {
            out.put_failure(state.outputName, msg::kBadOutputName);
            return -1;
        }
        if (stat_o == -2) {
            out.put_failure("", msg::kNoOutputName);
            return -1;
        }
        source = &state.outputName;
        sourceStatus = stat_o;
    }
    const std::string base = sourceStatus == 0 ? *source : source->substr(0, sourceStatus);
    state.lineFileName = base + ".lin";
    state.symbolFileName = base + ".sym";
    if (stat_i == 0) state.inputName = input_without_extension(state.inputName);
    if (state.debugMode) {
        out.put("---------- File Name ----------\n");
        out.put(msg::kInputFile).put(state.inputName).put('\n');
        out.put(msg::kOutputFile).put(state.outputName).put('\n');
        out.put(msg::kOutputSymbols).put(state.symbolFileName).put('\n');
        out.put(msg::kOutputLines).put(state.lineFileName).put('\n');
        out.put("stat_i:").sdec(stat_i).put('\n');
        out.put("stat_o:").sdec(stat_o).put('\n');
        out.put(msg::kBlockEnd);
    }
    return 0;
}

}  // namespace dravont
