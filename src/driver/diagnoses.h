// The diagnostics of standard error for the failures the driver reports.
#pragma once

#include <cstdint>
#include <string>

#include "common/diagnostics.h"

namespace dravont {

class MalformedInput;
struct RunState;

// The input could not be opened; `error` is the system's error number.
Diagnostic open_failure(const std::string& inputName, int error);

// The input turned out malformed (or shrank while it was read).
Diagnostic malformed_input(const RunState& state, const MalformedInput& error);

// A failure that came without a diagnostic of its own: the output files'
// failures are told apart by their message on standard output.
Diagnostic failure_from_message(const RunState& state, const std::string& message);

// What a COFF file's first two bytes, f_magic, say it is.
Said coff_magic_note(uint16_t magic);

}  // namespace dravont
