#include "driver/command_line.h"

#include "common/messages.h"
#include "common/run_state.h"

namespace dravont {

int16_t parse_command_line(RunState& state, const std::vector<std::string>& args) {
    TextOut& out = state.out;
    const size_t argc = args.size();
    for (size_t i = 1; i < argc; ++i) {
        const std::string& word = args[i];
        if (word == "-debug") {
            state.debugMode = true;
        } else if (word == "--utf8") {
            state.out.set_utf8(true);
        } else if (word == "-o" || word == "-O") {
            if (i + 1 >= argc) {
                out.put('\n').put(msg::kNoOutputName).put(msg::kUsageLine);
                return -1;
            }
            ++i;  // the next word is the output name, whatever it is
            state.outputName = args[i];
        } else if (state.inputName.empty()) {
            state.inputName = word;
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
