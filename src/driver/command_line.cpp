#include "driver/command_line.h"

#include "common/diagnostics.h"
#include "common/messages.h"
#include "common/run_state.h"

namespace dravont {

namespace {

// A word the scan does not take as an option: the input name when none is
// known yet, otherwise ignored. Either way a word that looks like an option
// is most likely a mistyped one ("--debug", "-v"), so standard error says so,
// once the echo line is complete.
void take_name(RunState& state, const std::string& word, std::vector<Diagnostic>& warnings) {
    const bool looksLikeOption = !word.empty() && word[0] == '-';
    if (state.inputName.empty()) {
        state.inputName = word;
        if (looksLikeOption) warnings.push_back({Said(msg::kSaidOptionAsInput, {word})});
    } else if (looksLikeOption) {
        warnings.push_back({Said(msg::kSaidOptionIgnored, {word})});
    } else if (!word.empty()) {
        warnings.push_back({Said(msg::kSaidSecondInput, {word})});
    }
}

void warn_all(TextOut& out, const std::vector<Diagnostic>& warnings) {
    for (const Diagnostic& w : warnings) out.warn(w);
}

}  // namespace

int16_t parse_command_line(RunState& state, const std::vector<std::string>& args) {
    TextOut& out = state.out;
    const size_t argc = args.size();
    std::vector<Diagnostic> warnings;
    for (size_t i = 1; i < argc; ++i) {
        const std::string& word = args[i];
        if (word == "-debug") {
            state.debugMode = true;
        } else if (word == "--utf8" || word == "--sjis") {
            state.out.set_utf8(word == "--utf8");  // the last one given wins
        } else if (word == "-o" || word == "-O") {
            if (i + 1 >= argc) {
                Diagnostic d{Said(msg::kSaidNoOutputAfterOption, {word}), {},
                             Said(msg::kFixNoOutputAfterOption, {word}), true};
                warn_all(out.put('\n'), warnings);
                out.put(msg::kNoOutputName).put_failure(msg::kUsageLine, d);
                return -1;
            }
            ++i;  // the next word is the output name, whatever it is
            state.outputName = args[i];
        } else {
            take_name(state, word, warnings);
        }
        out.put(' ').put(args[i]);
    }
    warn_all(out.put('\n'), warnings);
    if (state.debugMode) {
        out.put(msg::kArgCount).dec(argc).put('\n');
        for (size_t k = 0; k < argc; ++k) {
            out.put(msg::kArgument).dec(k + 1).put(':').put(args[k]).put('\n');
        }
        out.put('\n');
    }
    return 0;
}

}  // namespace dravont
