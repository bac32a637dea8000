#include "support/invariants.h"

#include <algorithm>

#include "common/elf_messages.h"
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

uint64_t read_un(const std::vector<uint8_t>& b, uint64_t at, unsigned n, bool big) {
    uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = v << 8 | b[at + (big ? i : n - 1 - i)];
    return v;
}

// The bytes an ELF input's compressed sections declare inflated, read from
// the section table as plainly as possible: sections flagged SHF_COMPRESSED
// (Elf32_Chdr) and sections that start with "ZLIB" (.zdebug_*). Inflated
// DWARF is input too: the outputs may grow with it.
uint64_t declared_inflated(const std::vector<uint8_t>& b) {
    if (b.size() < 52) return 0;
    const bool big = b[5] == 2;
    const uint64_t shoff = read_un(b, 32, 4, big), shnum = read_un(b, 48, 2, big);
    uint64_t total = 0;
    for (uint64_t i = 0; i < shnum && shoff + 40 * (i + 1) <= b.size(); ++i) {
        const uint64_t h = shoff + 40 * i;
        const uint64_t flags = read_un(b, h + 8, 4, big), offset = read_un(b, h + 16, 4, big);
        if (offset + 12 > b.size()) continue;
        if (flags & 0x800) total += read_un(b, offset + 4, 4, big);
        else if (b[offset] == 'Z' && b[offset + 1] == 'L' && b[offset + 2] == 'I' && b[offset + 3] == 'B') {
            total += std::min<uint64_t>(read_un(b, offset + 4, 8, true), uint64_t{1} << 32);  // no overflow
        }
    }
    return total;
}

std::string check_one(const Outcome& o, uint64_t size, bool debug, bool elf) {
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
                           o.out.find(dravont::msg::kNotExecutable.cp932) != std::string::npos ||
                           o.out.find(dravont::msg::kZstdNotBuilt.cp932) != std::string::npos ||
                           o.out.find(dravont::msg::kSplitDwarf.cp932) != std::string::npos;
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
    // A run that completes inflated what its sections declare (declared sizes
    // past the tool's bounds end the run); a failed run wrote no files.
    const uint64_t size = image.size() + (elf ? declared_inflated(image) : 0);
    const Outcome plain = run(image, false);
    std::string problem = check_one(plain, size, false, elf);
    if (!problem.empty() || !withDebug) return problem;
    const Outcome debug = run(image, true);
    problem = check_one(debug, size, true, elf);
    if (!problem.empty()) return problem;
    if (plain.status != debug.status) return "-debug changed the exit status";
    // A failed run's files were never committed: what it wrote of them
    // depends on how far each walk got (one, or several at once), its
    // message does not.
    if (plain.status != 0) {
        if (!ends_with(debug.out, plain.out)) return "-debug changed the failure message";
        return "";
    }
    if (plain.sym != debug.sym || plain.lin != debug.lin) return "-debug changed the output files";
    return "";
}

}  // namespace coff_test
