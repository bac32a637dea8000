#include "support/invariants.h"

#include <algorithm>

#include "common/messages.h"
#include "support/test_run.h"

namespace coff_test {

namespace {

struct Outcome : RunResult {
    std::vector<uint64_t> entries;
};

Outcome run(const std::vector<uint8_t>& image, bool debug) {
    Outcome o;
    static_cast<RunResult&>(o) = run_in_memory(image, debug, "fuzz.coff", &o.entries);
    return o;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool is_elf(const std::vector<uint8_t>& image) {
    return image.size() >= 4 && image[0] == 0x7F && image[1] == 'E' && image[2] == 'L' && image[3] == 'F';
}

std::string check_one(const Outcome& o, size_t size, bool debug, bool elf) {
    const std::string mode = debug ? " (debug)" : "";
    if (o.status == 0) {
        if (!o.committed) return "completed run did not commit its files" + mode;
        const size_t at = o.out.rfind("complete symbols=");
        if (at == std::string::npos || o.out.find('\n', at) != o.out.size() - 1) {
            return "completed run does not end with the summary" + mode;
        }
    } else if (o.status == 1) {
        if (o.committed) return "failed run committed its files" + mode;
        const bool known = o.out.find(dravont::msg::kMalformedInput.cp932) != std::string::npos ||
                           o.out.find(dravont::msg::kNotExecutable.cp932) != std::string::npos;
        if (!known || !ends_with(o.out, "\n\n")) return "failure without its message" + mode;
    } else {
        return "unexpected status " + std::to_string(o.status) + mode;
    }
    std::vector<uint64_t> entries = o.entries;
    std::sort(entries.begin(), entries.end());
    if (std::adjacent_find(entries.begin(), entries.end()) != entries.end()) {
        return "a line-number entry was written twice" + mode;
    }
    if (elf) {
        // A DWARF entity takes at least one byte of its own and a line row
        // one byte of program; a listing row stands for a DIE or a row.
        if (o.sym.size() > 82 * (size + 1)) return "symbol file out of proportion" + mode;
        if (o.lin.size() > 40 * (size + 1)) return "line file out of proportion" + mode;
        if (o.out.size() > 400 * size + 65536) return "standard output out of proportion" + mode;
        return "";
    }
    // Each written record stands for a distinct 8-byte entry, each symbol
    // line for an 18-byte record; the listing for a bounded amount per byte.
    if (o.sym.size() > 82 * (size / 18 + 1)) return "symbol file out of proportion" + mode;
    if (o.lin.size() > 20 * (size / 8 + 1) + 38 * (size / 18 + 1)) {
        return "line file out of proportion" + mode;
    }
    if (o.out.size() > 200 * size + 65536) return "standard output out of proportion" + mode;
    return "";
}

}  // namespace

std::string check_invariants(const std::vector<uint8_t>& image, bool withDebug) {
    const bool elf = is_elf(image);
    const Outcome plain = run(image, false);
    std::string problem = check_one(plain, image.size(), false, elf);
    if (!problem.empty() || !withDebug) return problem;
    const Outcome debug = run(image, true);
    problem = check_one(debug, image.size(), true, elf);
    if (!problem.empty()) return problem;
    if (plain.status != debug.status) return "-debug changed the exit status";
    if (plain.sym != debug.sym || plain.lin != debug.lin) return "-debug changed the output files";
    return "";
}

}  // namespace coff_test
