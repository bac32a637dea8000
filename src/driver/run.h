// The run sequence of the tool.
#pragma once

#include <string>
#include <vector>

#include "driver/coff_sequence.h"  // choose_target_family, for the decoders' tests

namespace dravont {

struct RunState;
class TextOut;

// The whole tool for one command line (args[0] is the program path), with
// real input and output files. Prints to `out`, in the encoding `out` is set
// to unless "--utf8" or "--sjis" says otherwise, and writes warnings, the
// reason an input cannot be opened and copies of failure messages to the
// diagnostics channel of `out`, when it has one. Returns the exit status:
// 0 for a run that completes, 1 for every failure ending.
int run_command_line(const std::vector<std::string>& args, TextOut& out);

// Everything after the input is loaded: the COFF or the ELF sequence, chosen
// by the image's first bytes, then the commit of both files and the summary. The slots
// must be allocated and state.image, the names and state.outputs set. Used
// by run_command_line, and by tests and fuzzing on in-memory images.
// Returns the exit status.
int convert_image(RunState& state);

}  // namespace dravont
