// The real h8300-hms executables in tests/data, by base name (NAME.coff with
// NAME.expected.sym, NAME.expected.lin and NAME.expected.counts beside it).
#pragma once

namespace coff_test {

inline const char* const kRealFixtures[] = {"arith_300_O0", "arith_300_O2", "multi_300_O2",
                                            "multi_h_O0",   "multi_s_O2",   "types_300_O0",
                                            "types_h_O2",   "types_s_O0"};

}  // namespace coff_test
