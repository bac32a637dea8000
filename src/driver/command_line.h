// The argument scan and the echo of the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravont {

struct RunState;

// Scans args[1..] for "-debug", "--utf8", "--sjis", "-o"/"-O" with its name
// and the input name, echoing each word, then ends the echo line and, in
// debug mode, lists the arguments. Words it ignores (a second name, an
// unknown option) are named in warnings on the diagnostics channel of
// state.out. Returns -1 when "-o" or "-O" is the last word (its message has
// been printed), 0 otherwise.
int16_t parse_command_line(RunState& state, const std::vector<std::string>& args);

}  // namespace dravont
