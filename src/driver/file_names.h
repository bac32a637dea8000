// Checking the input and output names and deriving the output file names.
// The backslash and the slash separate directories; the scan works on bytes.
#pragma once

#include <cstdint>
#include <string>

namespace dravont {

struct RunState;

// Status of a name: -1 malformed, -2 ends in a backslash or a slash (names
// no file), 0 no extension, n > 0 the position of the extension dot (the
// base length).
// Prints the check block in debug mode when the scan reaches the end.
int check_file_name(RunState& state, const std::string& name);

// Checks both names and fills symbolFileName and lineFileName; adds ".coff"
// to an input name without extension, unless only the name itself exists as
// a regular file. Returns -1 after printing a message when the run must end.
int16_t resolve_file_names(RunState& state);

}  // namespace dravont
