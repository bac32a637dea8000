#include "driver/file_names.h"

#include <filesystem>
#include <system_error>

#include "common/diagnostics.h"
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
// usually named without extension). When both exist, standard error says
// which was read: NAME is most likely the executable just linked.
std::string input_without_extension(RunState& state, const std::string& name) {
    std::string withCoff = name + ".coff";
    std::error_code ec;
    if (std::filesystem::exists(withCoff, ec)) {
        if (std::filesystem::is_regular_file(name, ec)) {
            state.out.warn({Said(msg::kSaidBothInputs, {withCoff, name}), {}, Said(msg::kFixBothInputs, {name})});
        }
        return withCoff;
    }
    if (std::filesystem::is_regular_file(name, ec)) return name;
    return withCoff;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The component of `name` that holds position `at`.
std::string component_at(const std::string& name, size_t at) {
    size_t begin = at, end = at;
    while (begin > 0 && !is_separator(name[begin - 1])) --begin;
    while (end < name.size() && !is_separator(name[end])) ++end;
    return name.substr(begin, end - begin);
}

// A component mended: no dot at its start or end, and only its last dot kept.
std::string mended(std::string part) {
    while (!part.empty() && part.front() == '.') part.erase(0, 1);
    while (!part.empty() && part.back() == '.') part.pop_back();
    const size_t last = part.rfind('.');
    for (size_t i = 0; i < last && last != std::string::npos; ++i) {
        if (part[i] == '.') part[i] = '_';
    }
    return part.empty() ? "x" : part;
}

// The failure of a name check_file_name refused, with its diagnostic.
void refuse_name(RunState& state, const std::string& name, bool output) {
    const NameFault fault = explain_name_fault(name);
    const bool doubled = fault.rule == &msg::kRuleDoubleBackslash;
    const std::string suggestion = name.substr(0, fault.begin) + fault.mended + name.substr(fault.end);
    Said remedy = doubled                   ? Said(msg::kFixWriteAs, {suggestion})
                  : output                  ? Said(msg::kFixRenameOutput, {suggestion})
                  : fault.end < name.size() ? Said(msg::kFixRenameInputDirectory, {fault.mended})
                                            : Said(msg::kFixRenameInput, {suggestion});
    Said rule = fault.rule ? Said(*fault.rule, {fault.component}) : Said();
    Diagnostic d{Said(output ? msg::kSaidBadOutputName : msg::kSaidBadInputName, {name, rule}),
                 doubled ? Said() : Said(msg::kNoteNamingRule), remedy};
    state.out.put(name).put_failure(state.out.text_of(output ? msg::kBadOutputName : msg::kBadInputName), d);
}

// A name ending in a separator, refused as a missing name.
void refuse_directory(RunState& state, const std::string& name, bool output) {
    Diagnostic d{Said(output ? msg::kSaidOutputIsDirectory : msg::kSaidInputIsDirectory, {name}), {},
                 Said(output ? msg::kFixOutputIsDirectory : msg::kFixInputIsDirectory, {name})};
    state.out.put_failure(state.out.text_of(output ? msg::kNoOutputName : msg::kNoInputName), d);
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

NameFault explain_name_fault(const std::string& name) {
    // The scan of check_file_name, stopping where it refuses the name.
    int yen = 0, dot = 0, fn = 0, ext = 0;
    size_t i = 0;
    const auto fault = [&name](const msg::Phrase& rule, size_t at) {
        NameFault f;
        f.rule = &rule;
        if (&rule == &msg::kRuleDoubleBackslash) {
            f.begin = at - 1;
            f.end = at + 1;
            f.component = name.substr(f.begin, 2);
            f.mended = "\\";
            return f;
        }
        f.component = component_at(name, at);
        f.begin = at;
        while (f.begin > 0 && !is_separator(name[f.begin - 1])) --f.begin;
        f.end = f.begin + f.component.size();
        f.mended = mended(f.component);
        return f;
    };
    for (; i < name.size() && name[i] != '\0'; ++i) {
        const char c = name[i];
        if (c == '\\') {
            dot = fn = ext = 0;
            if (++yen > 1) return fault(msg::kRuleDoubleBackslash, i);
        } else if (c == '/') {
            yen = dot = fn = ext = 0;
        } else {
            yen = 0;
            if (c == '.') {
                if (++dot > 2) return fault(msg::kRuleThreeDots, i);
                ext = 0;
            } else if (dot == 0) {
                ++fn;
            } else if (dot == 1) {
                if (fn == 0) return fault(msg::kRuleLeadingDot, i);
                ++ext;
            } else {
                return fault(msg::kRuleTwoDots, i);
            }
        }
    }
    if (i > 0 && !is_separator(name[i - 1]) && dot == 1 && ext == 0) return fault(msg::kRuleTrailingDot, i - 1);
    return {};
}

int16_t resolve_file_names(RunState& state) {
    TextOut& out = state.out;
    if (state.inputName.empty()) {
        out.put(msg::kNoInputName)
            .put_failure(msg::kUsageLine, {Said(msg::kSaidNoInput), {}, Said(msg::kFixNoInput), true});
        return -1;
    }
    const int stat_i = check_file_name(state, state.inputName);
    if (stat_i == -1) {
        refuse_name(state, state.inputName, false);
        return -1;
    }
    if (stat_i == -2) {
        refuse_directory(state, state.inputName, false);
        return -1;
    }
    int stat_o = 0;  // shown as 0 when no output name was given
    const std::string* source = &state.inputName;
    int sourceStatus = stat_i;
    if (!state.outputName.empty()) {
        stat_o = check_file_name(state, state.outputName);
        if (stat_o == -1) {
            refuse_name(state, state.outputName, true);
            return -1;
        }
        if (stat_o == -2) {
            refuse_directory(state, state.outputName, true);
            return -1;
        }
        source = &state.outputName;
        sourceStatus = stat_o;
    }
    const std::string base = sourceStatus == 0 ? *source : source->substr(0, sourceStatus);
    state.lineFileName = base + ".lin";
    state.symbolFileName = base + ".sym";
    if (stat_i == 0) state.inputName = input_without_extension(state, state.inputName);
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
