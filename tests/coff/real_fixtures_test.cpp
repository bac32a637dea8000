// Decodes the real h8300-hms executables and compares every header, symbol,
// auxiliary field and line-number entry with what h8300-hms-objdump printed
// of the same file (the listings stored beside the fixtures).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>

#include "coff/headers.h"
#include "coff/input_image.h"
#include "coff/line_numbers.h"
#include "coff/symbols.h"
#include "common/run_state.h"
#include "driver/run.h"
#include "support/fixtures.h"

using namespace dravont;

namespace {

const std::string kData = DRAVONT_TEST_DATA;
using coff_test::kRealFixtures;

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Loaded {
    TextOut out;
    RunState state{out};
    explicit Loaded(const std::string& name) {
        allocate_slots(state);
        state.inputName = kData + "/" + name + ".coff";
        EXPECT_EQ(load_image(state), 0);
        decode_file_header(state);
        choose_target_family(state);
        decode_optional_header(state);
        state.stringTable = state.fileHeader->f_symptr + 18ull * state.fileHeader->f_nsyms;
    }
};

TEST(RealFixtures, HeadersMatchObjdump) {
    const std::regex section(R"(^\s+(\d+) (\S+)\s+([0-9a-f]{8})\s+([0-9a-f]{16})\s+([0-9a-f]{16})\s+([0-9a-f]{8}))");
    const std::regex start(R"(^start address 0x([0-9a-f]+))");
    for (const char* name : kRealFixtures) {
        Loaded l(name);
        EXPECT_EQ(l.state.targetFamily, TargetFamily::H8);
        EXPECT_EQ(l.state.fileHeader->f_opthdr, 28);
        uint16_t sections = 0;
        for (const std::string& line : lines_of(kData + "/" + name + ".objdump-x.txt")) {
            std::smatch m;
            if (std::regex_search(line, m, start)) {
                EXPECT_EQ(l.state.optionalHeader->entry, std::stoul(m[1], nullptr, 16)) << name;
            } else if (std::regex_search(line, m, section)) {
                const uint16_t n = static_cast<uint16_t>(std::stoul(m[1]));
                decode_section_header(l.state, n);
                const SectionHeader& h = *l.state.sectionHeader;
                EXPECT_EQ(std::string(h.s_name, strnlen(h.s_name, 8)), m[2].str()) << name;
                EXPECT_EQ(h.s_size, std::stoul(m[3], nullptr, 16)) << name << " " << n;
                EXPECT_EQ(h.s_vaddr, std::stoull(m[4], nullptr, 16)) << name << " " << n;
                EXPECT_EQ(h.s_paddr, std::stoull(m[5], nullptr, 16)) << name << " " << n;
                EXPECT_EQ(h.s_scnptr, std::stoul(m[6], nullptr, 16)) << name << " " << n;
                ++sections;
            }
        }
        EXPECT_GT(sections, 0) << name;
        EXPECT_EQ(l.state.fileHeader->f_nscns, sections) << name;
    }
}

TEST(RealFixtures, SymbolsAuxAndLineEntriesMatchObjdump) {
    const std::regex symbol(
        R"(^\[\s*(\d+)\]\(sec\s+(-?\d+)\)\(fl 0x[0-9a-f]+\)\(ty\s+([0-9a-f]+)\)\(scl\s+(\d+)\) \(nx (\d+)\) 0x([0-9a-f]{8}) (.*)$)");
    const std::regex function(R"(^AUX tagndx (\d+) ttlsiz 0x([0-9a-f]+) lnnos (\d+) next (\d+))");
    const std::regex lineForm(R"(^AUX lnno (\d+) size 0x([0-9a-f]+) tagndx (\d+))");
    const std::regex lineEntry(R"(^\s+(\d+) : 0x([0-9a-f]+)$)");
    for (const char* name : kRealFixtures) {
        Loaded l(name);
        const SymbolEntry& s = *l.state.symbolEntry;
        uint32_t symbols = 0, functionsWithLines = 0, entries = 0;
        uint32_t lnnoptr = 0, k = 0;
        for (const std::string& line : lines_of(kData + "/" + name + ".objdump-t.txt")) {
            std::smatch m;
            if (std::regex_search(line, m, symbol)) {
                const uint32_t index = static_cast<uint32_t>(std::stoul(m[1]));
                const int numaux = decode_symbol(l.state, index);
                EXPECT_EQ(s.n_scnum, static_cast<uint16_t>(std::stoi(m[2]))) << name << index;
                EXPECT_EQ(s.n_type, std::stoul(m[3], nullptr, 16)) << name << index;
                EXPECT_EQ(s.n_sclass, std::stoul(m[4])) << name << index;
                EXPECT_EQ(numaux, std::stoi(m[5])) << name << index;
                EXPECT_EQ(s.n_value, std::stoul(m[6], nullptr, 16)) << name << index;
                // objdump shows a file entry by its file name.
                Name decoded;
                if (s.n_sclass == C_FILE) {
                    file_aux_name(l.state, decoded);
                } else {
                    symbol_name(l.state, decoded);
                }
                EXPECT_EQ(std::string(decoded.view()), m[7].str().substr(0, 32)) << name << index;
                ++symbols;
            } else if (std::regex_search(line, m, function)) {
                const AuxFunctionForm& a = l.state.auxEntry->function;
                EXPECT_EQ(a.x_tagndx, std::stoul(m[1])) << name;
                EXPECT_EQ(a.x_fsize, std::stoul(m[2], nullptr, 16)) << name;
                EXPECT_EQ(a.x_lnnoptr, std::stoul(m[3])) << name;
                EXPECT_EQ(a.x_endndx, std::stoul(m[4])) << name;
                lnnoptr = a.x_lnnoptr;
                k = 0;
            } else if (s.n_sclass == C_FCN && std::regex_search(line, m, lineForm)) {
                const AuxLineForm& a = l.state.auxEntry->line;
                EXPECT_EQ(a.x_lnno, std::stoul(m[1])) << name;
                EXPECT_EQ(a.x_size, std::stoul(m[2], nullptr, 16)) << name;
                EXPECT_EQ(a.x_tagndx, std::stoul(m[3])) << name;
            } else if (std::regex_search(line, m, lineEntry)) {
                if (k == 0) {
                    // Entry 0 names the function itself.
                    decode_line_entry(l.state, lnnoptr, 0);
                    EXPECT_EQ(l.state.lineEntry->l_lnno, 0u) << name;
                    ++functionsWithLines;
                }
                decode_line_entry(l.state, lnnoptr, ++k);
                EXPECT_EQ(l.state.lineEntry->l_lnno, std::stoul(m[1])) << name;
                EXPECT_EQ(l.state.lineEntry->l_addr, std::stoul(m[2], nullptr, 16)) << name;
                ++entries;
            }
        }
        EXPECT_GT(symbols, 20u) << name;
        EXPECT_GT(functionsWithLines, 3u) << name;
        EXPECT_GT(entries, 30u) << name;
    }
}

}  // namespace
