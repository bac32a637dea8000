// Properties every run must have, whatever the input: used by the fuzz
// target and by the regression test that replays its corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coff_test {

// Runs the converter on `image` without -debug and, when `withDebug` is set,
// with it too, and returns a description of the first broken property, or ""
// when all hold:
// - each run completes (status 0, files committed, summary last) or ends in
//   a failure message (status 1, files not committed);
// - -debug changes neither the status nor the two files;
// - no line-number entry is written twice;
// - the output stays proportional to the input.
std::string check_invariants(const std::vector<uint8_t>& image, bool withDebug = true);

}  // namespace coff_test
