// Checking the input and output names and deriving the output file names.
// The backslash and the slash separate directories; the scan works on bytes.
#pragma once

#include <cstdint>
#include <string>

#include "common/diagnostic_texts.h"

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

// Why check_file_name refuses a name (-1): the rule it breaks, the part of
// the name that breaks it ([begin, end)) and that part mended. No rule for
// a name it accepts.
struct NameFault {
    const msg::Phrase* rule = nullptr;
    size_t begin = 0;
    size_t end = 0;
    std::string component;
    std::string mended;
};
NameFault explain_name_fault(const std::string& name);

}  // namespace dravont
