// The one way a run ends in failure. The core never exits the process: it
// throws one of these, and the driver prints the message and returns status 1.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "common/diagnostics.h"

namespace dravont {

// A failure whose message is complete as it stands, with the diagnostic of
// standard error that explains it (without one, the driver says what it can).
class RunFailure : public std::runtime_error {
public:
    explicit RunFailure(const std::string& message) : std::runtime_error(message) {}
    RunFailure(const std::string& message, Diagnostic d)
        : std::runtime_error(message), diagnostic_(std::move(d)), hasDiagnostic_(true) {}
    const Diagnostic* diagnostic() const { return hasDiagnostic_ ? &diagnostic_ : nullptr; }

private:
    Diagnostic diagnostic_;
    bool hasDiagnostic_ = false;
};

// A record of the input lies outside the file, or the file's contents
// contradict each other. Carries what was being read and where; the driver
// turns it into a message naming the input file.
class MalformedInput : public std::runtime_error {
public:
    MalformedInput(std::string record, uint64_t offset, uint64_t fileSize);
    const std::string& record() const { return record_; }
    uint64_t offset() const { return offset_; }
    uint64_t fileSize() const { return fileSize_; }

private:
    std::string record_;
    uint64_t offset_;
    uint64_t fileSize_;
};

// "0x" and the value in lower-case hex digits, for the record names of
// MalformedInput ("reference to DIE 0x2d").
std::string hex_text(uint64_t value);

// The message printed for malformed input, in the tool's own style; in UTF-8
// rather than CP932 when `utf8` is set.
std::string malformed_input_message(const std::string& inputName, const MalformedInput& error,
                                    bool utf8);

}  // namespace dravont
