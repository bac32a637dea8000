#include "driver/command_line.h"

#include "common/messages.h"
#include "common/run_state.h"

namespace dravont {

namespace {

// A word the scan does not take as an option: the input name when none is
// known yet, otherwise ignored. Either way a word that looks like an option
// is most likely a mistyped one ("--debug", "-v"), so standard error says so.
void take_name(RunState& state, const std::string& word) {
    TextOut* err = state.out.diagnostics();
    const bool looksLikeOption = !word.empty() && word[0] == '-';
    if (state.inputName.empty()) {
        state.inputName = word;
        if (err && looksLikeOption) {
            err->put("dravont: warning: unknown option taken as the input name: ").put(word).put('\n');
        }
    } else if (err && looksLikeOption) {
        err->put("dravont: warning: unknown option ignored: ").put(word).put('\n');
    } else if (err && !word.empty()) {
        err->put("dravont: warning: second input name ignored: ").put(word).put('\n');
    }
}

}  // namespace

int16_t parse_command_line(RunState& state, const std::vector<std::string>& args) {
    TextOut& out = state.out;
    const size_t argc = args.size();
    for (size_t i = 1; i < argc; ++i) {
        const std::string& word = args[i];
        if (word == "-debug") {
            state.debugMode = true;
        } else if (word == "--utf8" || word == "--sjis") {
            state.out.set_utf8(word == "--utf8");  // the last one given wins
        } else if (word == "-o" || word == "-O") {
            if (i + 1 >= argc) {
                out.put('\n').put_failure("", msg::kNoOutputName, msg::kUsageLine);
                return -1;
            }
            ++i;  // the next word is the output name, whatever it is
            state.outputName = args[i];
        } else {
            take_name(state, word);
        }
        out.put(' ').put(args[i]);
    }
    out.put('\n');
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
