// Lookups of the ELF symbol table by value. The index by value and the
// filter of (value, name) pairs must answer exactly as a scan of the table
// does, in table order, for values spread over the address space, crowded
// into a few buckets or at its edges; a symbol whose name cannot be read
// fails the lookups that meet it, and only those.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "coff/input_image.h"
#include "common/run_error.h"
#include "elf/elf_file.h"
#include "support/elf_builder.h"

namespace dravont {
namespace {

using elf_test::ElfBuilder;
using elf_test::ElfSymbol;

constexpr uint8_t kGlobalFunc = 0x12, kLocalObject = 0x01, kFile = 0x04, kSection = 0x03;

struct Table {
    const char* name;
    std::vector<ElfSymbol> symbols;
};

bool counts(const ElfSymbol& s) { return (s.info & 0xF) != kFile && (s.info & 0xF) != kSection && s.shndx != 0; }

// The symbols in the order the builder writes them: locals first.
std::vector<ElfSymbol> table_order(std::vector<ElfSymbol> symbols) {
    std::stable_partition(symbols.begin(), symbols.end(), [](const ElfSymbol& s) { return s.info >> 4 == 0; });
    return symbols;
}

std::vector<Table> tables() {
    std::mt19937 random(7);
    std::vector<Table> all;
    Table spread{"spread", {}};
    for (int i = 0; i < 2000; ++i) {
        const uint32_t value = i % 10 == 9 ? spread.symbols[random() % i].value : static_cast<uint32_t>(random());
        spread.symbols.push_back({"s" + std::to_string(i), value, 0, i % 3 ? kGlobalFunc : kLocalObject, 1});
    }
    all.push_back(spread);
    // A few dozen values hold thousands of symbols, and one far value makes
    // the buckets wide: long buckets are sorted and searched.
    Table crowded{"crowded", {}};
    for (int i = 0; i < 3000; ++i) {
        crowded.symbols.push_back({"c" + std::to_string(i % 700), 0x1000 + 4 * static_cast<uint32_t>(random() % 40), 0,
                                   i % 2 ? kGlobalFunc : kLocalObject, 1});
    }
    crowded.symbols.push_back({"far", 0xFFFFFFF0u, 0, kGlobalFunc, 1});
    all.push_back(crowded);
    Table edges{"edges", {}};
    for (uint32_t value : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        for (int k = 0; k < 3; ++k) edges.symbols.push_back({"e" + std::to_string(k % 2), value, 0, kGlobalFunc, 1});
    }
    all.push_back(edges);
    // What names no address shares values with the others.
    for (Table& t : all) {
        const std::vector<ElfSymbol> copy = t.symbols;
        for (size_t i = 0; i < copy.size(); i += 50) {
            t.symbols.push_back({"file" + std::to_string(i), copy[i].value, 0, kFile, 0xFFF1});
            t.symbols.push_back({"", copy[i].value, 0, kSection, 1});
            t.symbols.push_back({"undef" + std::to_string(i), copy[i].value, 0, kGlobalFunc, 0});
        }
    }
    return all;
}

InputImage image_of(const std::vector<uint8_t>& bytes) {
    InputImage image;
    image.assign(bytes);
    return image;
}

class SymbolLookup : public ::testing::TestWithParam<bool> {};

TEST_P(SymbolLookup, AnswersAsAScanOfTheTable) {
    for (const Table& t : tables()) {
        SCOPED_TRACE(t.name);
        ElfBuilder builder(GetParam(), 42);
        builder.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(16, 0)});
        for (const ElfSymbol& s : t.symbols) builder.add_symbol(s);
        const InputImage image = image_of(builder.build());
        const ElfFile elf(image, "t.elf", true);
        const std::vector<ElfSymbol> ordered = table_order(t.symbols);

        std::vector<uint32_t> values;
        for (const ElfSymbol& s : ordered) values.push_back(s.value);
        for (uint32_t v : std::vector<uint32_t>(values)) values.push_back(v + 1), values.push_back(v - 1);
        for (uint32_t v : values) {
            std::vector<std::string_view> expected;
            for (const ElfSymbol& s : ordered) {
                if (s.value == v && counts(s)) expected.push_back(s.name);
            }
            ASSERT_EQ(elf.symbols_at(v), expected) << std::hex << v;
            // Names held at other values, and near misses of the names held
            // here, share first characters with symbols of the table.
            for (size_t k = 0; k < ordered.size(); k += 97) {
                const std::string& other = ordered[k].name;
                const bool present = std::find(expected.begin(), expected.end(), other) != expected.end();
                EXPECT_EQ(elf.has_symbol_at(v, other), present) << other << " at " << std::hex << v;
                EXPECT_FALSE(elf.has_symbol_at(v, other + "x")) << other;
            }
            for (const ElfSymbol& s : ordered) {
                if (s.value != v) continue;
                const bool present = std::find(expected.begin(), expected.end(), s.name) != expected.end();
                EXPECT_EQ(elf.has_symbol_at(v, s.name), present) << s.name << " at " << std::hex << v;
                EXPECT_EQ(elf.has_symbol_at(v, "_" + s.name), false) << s.name;
                if (!s.name.empty()) {
                    EXPECT_EQ(elf.has_symbol_at(v, s.name.substr(1)), false) << s.name;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, SymbolLookup, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "big" : "little"; });

// A symbol whose st_name lies past the string table, or whose name runs to
// the table's end unterminated, fails every lookup at its value.
TEST(SymbolLookupErrors, UnreadableNamesFailOnlyTheirOwnValue) {
    struct Case {
        const char* name;
        bool pastTheEnd;  // else: the string table's last byte loses its terminator
    };
    for (const Case c : {Case{"st_name past the table", true}, Case{"unterminated", false}}) {
        SCOPED_TRACE(c.name);
        ElfBuilder builder(true, 42);
        builder.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(16, 0)});
        for (uint32_t i = 0; i < 40; ++i) builder.add_symbol({"n" + std::to_string(i), 0x1000 + 4 * i, 0, kGlobalFunc, 1});
        std::vector<uint8_t> bytes = builder.build();
        const elf_test::ElfLayout layout = builder.layout();
        const uint32_t lastSymbol = layout.offsets[layout.symtabIndex] + 16 * 40;  // n39, at 0x109C
        if (c.pastTheEnd) {
            bytes[lastSymbol] = 0x7F;  // st_name, big-endian
        } else {
            bytes[layout.offsets[layout.strtabIndex + 1] - 1] = 'x';  // n39's terminator, before .shstrtab
        }
        const InputImage image = image_of(bytes);
        const ElfFile elf(image, "t.elf", true);
        for (int round = 0; round < 2; ++round) {  // the scans first, then the index
            for (uint32_t i = 0; i < 39; ++i) EXPECT_TRUE(elf.has_symbol_at(0x1000 + 4 * i, "n" + std::to_string(i)));
            EXPECT_THROW(elf.has_symbol_at(0x109C, "n39"), MalformedInput);
            EXPECT_THROW(elf.symbols_at(0x109C), MalformedInput);
            EXPECT_FALSE(elf.has_symbol_at(0x10A0, "n39"));
        }
    }
}

}  // namespace
}  // namespace dravont
