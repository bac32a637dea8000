// Writes the helper-built images of the test suite into a directory, as
// seeds for the fuzzer: usage make_seeds DIR.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/coff_builder.h"
#include "support/elf_samples.h"

using namespace coff_test;

namespace {

void write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    write(dir, "worked_h8.coff", worked_example(0x8300).build());
    write(dir, "worked_sh.coff", worked_example(0x0500).build());

    CoffBuilder names;
    names.sections = {section(".text", {{2, 0}, {0x102, 3}})};
    names.add(file_symbol(std::string(40, 'f')));
    names.add(function_symbol(std::string(33, 's'), 0x100, 0x24, 3, names.line_offset(0), 8));
    names.add(bf_symbol(0x100, 9));
    SymbolSpec two = plain_symbol("_two", 1, 0x34, 2);
    two.aux = {aux_array(0, 0, 8, {4, 0, 0, 0}), aux_array(0, 0, 8, {4, 0, 0, 0})};
    names.add(two);
    write(dir, "names.coff", names.build());

    CoffBuilder saturated;
    saturated.sections = {section(".text")};
    saturated.sections[0].lines.push_back({0, 0});
    for (uint32_t k = 1; k < 300; ++k) saturated.sections[0].lines.push_back({0x100 + 2 * k, k});
    saturated.sections[0].nlnno = 0xFFFF;
    saturated.add(function_symbol("_f", 0x100, 0x24, 2, saturated.line_offset(0), 4));
    saturated.add(bf_symbol(0x100, 5));
    write(dir, "saturated.coff", saturated.build());

    // ELF: the sample program in every DWARF version, both byte orders and
    // families, and the malformed images of the tests.
    for (uint8_t version = 2; version <= 5; ++version) {
        const std::string v = std::to_string(version);
        write(dir, "sample_h8_dwarf" + v + ".elf", elf_test::sample_program(true, 46, version));
        write(dir, "sample_sh_le_dwarf" + v + ".elf", elf_test::sample_program(false, 42, version));
    }
    // The sample with its debug sections compressed in each layout a linker
    // writes; the malformed compressed sections are among the broken images.
    const std::pair<const char*, elf_test::Packing> packings[] = {
        {"zlib", elf_test::Packing::Zlib}, {"zstd", elf_test::Packing::Zstd}, {"zlib_gnu", elf_test::Packing::ZlibGnu}};
    for (const auto& [name, packing] : packings) {
        write(dir, std::string("sample_h8_dwarf4_") + name + ".elf", elf_test::sample_program(true, 46, 4, packing));
        write(dir, std::string("sample_sh_le_dwarf5_") + name + ".elf", elf_test::sample_program(false, 42, 5, packing));
    }
    int n = 0;
    for (const elf_test::BrokenImage& broken : elf_test::broken_images()) {
        write(dir, "broken" + std::to_string(n++) + ".elf", broken.image);
    }
    return 0;
}
