#include "driver/run.h"

#if defined(__linux__)
#include <malloc.h>
#endif

#include <cstring>
#include <new>
#include <filesystem>
#include <system_error>

#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "driver/coff_sequence.h"
#include "driver/command_line.h"
#include "driver/diagnoses.h"
#include "driver/elf_sequence.h"
#include "driver/file_names.h"
#include "elf/elf_file.h"
#include "output/output_files.h"

namespace dravont {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

bool same_file(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// The tool never writes over its own input: "dravont prog.sym", or "-o"
// naming the input, would otherwise destroy it.
bool output_would_replace_input(RunState& state) {
    for (const std::string* name : {&state.symbolFileName, &state.lineFileName}) {
        if (same_file(*name, state.inputName)) {
            state.out.put(*name).put_failure(state.out.text_of(msg::kOutputIsInput),
                                             {Said(msg::kSaidOutputIsInput, {*name}), {},
                                              Said(msg::kFixOutputIsInput), true});
            return true;
        }
    }
    return false;
}

void release_free_memory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// The end of every completed run: the slots released, the summary printed.
int finish_run(RunState& state) {
    release_slots(state);
    state.out.put("complete symbols=").sdec(state.symbolCount);
    state.out.put(" lineCount=").sdec(state.lineCount).put('\n');
    // The names and addresses are the files' own; the sentence around them
    // stays English whatever the language of standard error.
    if (Diagnostics* d = state.out.diagnostics(); d && !state.warning.empty()) {
        d->warning(state.out, Diagnostic(Said(state.warning)));
    }
    return kSuccess;
}

// A file that shrank while it was read is reported as such, whatever its
// missing bytes made the conversion find.
bool reported_change(RunState& state) {
    try {
        check_unchanged(state.image);
        return false;
    } catch (const MalformedInput& changed) {
        state.out.put_failure(malformed_input_message(state.inputName, changed, state.out.utf8()),
                              malformed_input(state, changed));
        return true;
    }
}

// Standard output could not be written (a full disk, a closed pipe): said
// on standard error, the only place left.
void report_lost_output(RunState& state) {
    std::string what = "cannot write standard output";
    if (state.out.error() != 0) what += std::string(" (") + std::strerror(state.out.error()) + ")";
    Diagnostics* d = state.out.diagnostics();
    if (!d) return;
    d->failure(state.out, {Said(what), Said(state.symbolFileName + " and " + state.lineFileName + " left as they were"),
                    Said("make room on the disk, or keep standard output open until the run ends")});
}

// The conversion asked for more memory than the system gives (a limit on
// the process, a huge input): nothing is written.
void report_out_of_memory(RunState& state) {
    state.out.put(state.inputName).put_failure(
        state.out.text_of(msg::kOutOfMemory),
        {Said(state.inputName + ": out of memory"),
         Said(state.symbolFileName + " and " + state.lineFileName + " left as they were"),
         Said("raise the process's memory limit, or check that the input is the executable")});
}

}  // namespace

int convert_image(RunState& state) {
    try {
        if (is_elf_image(state.image)) convert_elf(state);
        else convert_coff(state);
        check_unchanged(state.image);
        // While the files are put in place, another thread hands the
        // memory the conversion freed back to the system, which the end of
        // the process would otherwise do alone.
        if (state.pool) state.pool->post(release_free_memory);
        // What standard output was to show must have reached it before the
        // files are replaced: a run that fails leaves the pair as it was.
        if (!state.out.sync()) {
            report_lost_output(state);
            return kFailure;
        }
        state.outputs->commit();
    } catch (const MalformedInput& error) {
        if (!reported_change(state)) {
            state.out.put_failure(malformed_input_message(state.inputName, error, state.out.utf8()),
                                  malformed_input(state, error));
        }
        return kFailure;
    } catch (const RunFailure& failure) {
        if (!reported_change(state)) {
            const Diagnostic* d = failure.diagnostic();
            state.out.put_failure(failure.what(), d ? *d : failure_from_message(state, failure.what()));
        }
        return kFailure;
    } catch (const std::bad_alloc&) {
        report_out_of_memory(state);
        return kFailure;
    }
    return finish_run(state);
}

int run_command_line(const std::vector<std::string>& args, TextOut& out) {
    // --help and --version count only as whole words, anywhere; the first wins.
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--help") {
            out.put(msg::kHelp);
            return kSuccess;
        }
        if (args[i] == "--version") {
            out.put(msg::kVersion);
            return kSuccess;
        }
    }
    RunState state(out);
    allocate_slots(state);
    out.put(msg::kBanner).put("Usage:").put(args.empty() ? std::string() : args[0]);
    if (parse_command_line(state, args) == -1) return kFailure;
    if (resolve_file_names(state) == -1) return kFailure;
    if (output_would_replace_input(state)) return kFailure;
    int openError = 0;
    int16_t loaded;
    try {
        loaded = load_image(state, &openError);
    } catch (const std::bad_alloc&) {
        report_out_of_memory(state);
        return kFailure;
    }
    if (loaded == -1) {
        // The message on standard output says only that the file is missing;
        // standard error gives the system's reason (a directory, no access).
        out.put(state.inputName).put_failure(out.text_of(msg::kNoSuchFile), open_failure(state.inputName, openError));
        return kFailure;
    }
    AtomicFileOutputs files;
    state.outputs = &files;
    return convert_image(state);
}

}  // namespace dravont
