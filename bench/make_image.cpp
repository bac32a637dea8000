// Writes a large synthetic COFF executable for the benchmark: FUNCTIONS
// functions, each with its symbol, .bf, a static, an automatic, .ef and
// eight line-number entries, spread over sections of at most 8,000
// functions (64,000 entries, below the 16-bit count), a file entry every 500
// functions. About 8 symbol-table entries and 8 line entries per function.
//   make_image FUNCTIONS OUTPUT
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/coff_builder.h"

using namespace coff_test;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_image FUNCTIONS OUTPUT\n");
        return 2;
    }
    const uint32_t functions = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    constexpr uint32_t kPerSection = 8000, kLinesPerFunction = 8;
    CoffBuilder b;
    b.magic = 0x8302;
    const uint32_t sections = (functions + kPerSection - 1) / kPerSection;
    for (uint32_t s = 0; s < sections; ++s) {
        b.sections.push_back(section(".text" + std::to_string(s)));
    }
    // Line tables first, so that their offsets are known for the aux entries.
    for (uint32_t f = 0; f < functions; ++f) {
        b.sections[f / kPerSection].lines.resize(b.sections[f / kPerSection].lines.size() + kLinesPerFunction);
    }
    std::vector<uint32_t> sectionStart(sections);
    for (uint32_t s = 0; s < sections; ++s) sectionStart[s] = b.line_offset(s);

    b.symbols.reserve(functions * 6 + functions / 500 + 1);
    uint32_t index = 0;
    for (uint32_t f = 0; f < functions; ++f) {
        const uint32_t s = f / kPerSection, local = f % kPerSection;
        const uint16_t scnum = static_cast<uint16_t>(s + 1);
        const uint32_t address = 0x1000 + 0x40 * f;
        if (f % 500 == 0) {
            b.symbols.push_back(file_symbol("module_" + std::to_string(f / 500) + ".c"));
            index += 2;
        }
        const uint32_t functionIndex = index;
        const uint32_t endIndex = functionIndex + 2 + 2 + 1 + 1 + 2;
        const bool isStatic = f % 4 == 3;
        const std::string name = (f % 2 ? "_function_" : "_f") + std::to_string(f);
        b.symbols.push_back(function_symbol(name, address, 0x24, isStatic ? 3 : 2,
                                            sectionStart[s] + 8 * kLinesPerFunction * local,
                                            endIndex, scnum));
        b.symbols.push_back(bf_symbol(address, static_cast<uint16_t>(10 + f % 1000), scnum));
        b.symbols.push_back(plain_symbol("_st" + std::to_string(f % 100000), 0x800000 + 2 * f, 0x04, 3, scnum));
        b.symbols.push_back(plain_symbol("_i", 0xFFFFFFFC, 0x04, 1, 0xFFFF));
        b.symbols.push_back(ef_symbol(address + 0x3E, scnum));
        index = endIndex;
        std::vector<LineRec>& lines = b.sections[s].lines;
        lines[kLinesPerFunction * local] = {functionIndex, 0};
        for (uint32_t k = 1; k < kLinesPerFunction; ++k) {
            lines[kLinesPerFunction * local + k] = {address + 4 * k, k + 1};
        }
    }
    const std::vector<uint8_t> image = b.build();
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(image.data(), 1, image.size(), out) != image.size() || std::fclose(out) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    std::printf("%s: %zu bytes, %u functions, %u symbol-table entries\n", argv[2], image.size(),
                functions, index);
    return 0;
}
