#include "support/test_run.h"

#include "common/run_state.h"
#include "driver/run.h"
#include "output/output_files.h"

namespace coff_test {

RunResult run_in_memory(const std::vector<uint8_t>& image, bool debug, const std::string& inputName,
                        std::vector<uint64_t>* entryLog, unsigned threads) {
    dravont::TextOut out;
    dravont::TextOut err;
    out.set_diagnostics(&err, false);
    dravont::MemoryOutputs files;
    dravont::RunState state(out);
    dravont::allocate_slots(state);
    state.debugMode = debug;
    state.inputName = inputName;
    state.image.assign(image);
    state.outputs = &files;
    state.lineEntryLog = entryLog;
    state.threads = threads;
    RunResult result;
    result.status = dravont::convert_image(state);
    result.out = out.take();
    result.err = err.take();
    result.sym = files.symbols().take();
    result.lin = files.lines().take();
    result.committed = files.committed();
    return result;
}

std::string after_dumps(const std::string& out) {
    const size_t at = out.find("----- File Header -----\n");
    return at == std::string::npos ? out : out.substr(at);
}

}  // namespace coff_test
