// Malformed inputs: truncated fixtures and pointers, counts and names that
// point past the file. Each run ends in the malformed-input error with exit
// status 1, and existing output files stay as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "support/fixtures.h"
#include "support/coff_builder.h"
#include "support/platform.h"
#include "support/test_run.h"

namespace fs = std::filesystem;
using namespace coff_test;

namespace {

const fs::path kData = DRAVONT_TEST_DATA;
using coff_test::kRealFixtures;

// " 入力ファイルの形式に誤りがあります。" in CP932.
const std::string kMalformed =
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae\x82\xc9"
    "\x8c\xeb\x82\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";

using Bytes = std::vector<uint8_t>;

Bytes read_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t be32(const Bytes& b, size_t p) {
    return uint32_t{b[p]} << 24 | uint32_t{b[p + 1]} << 16 | uint32_t{b[p + 2]} << 8 | b[p + 3];
}
void put32(Bytes& b, size_t p, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[p + k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}
void put16(Bytes& b, size_t p, uint16_t v) {
    b[p] = static_cast<uint8_t>(v >> 8);
    b[p + 1] = static_cast<uint8_t>(v);
}

// A plain reading of the symbol table, independent of the converter:
// offsets of the primary records in walk order.
std::vector<size_t> primary_records(const Bytes& b) {
    std::vector<size_t> records;
    const size_t symptr = be32(b, 8), nsyms = be32(b, 12);
    for (size_t i = 0; i < nsyms; i += 1 + b[symptr + 18 * i + 17]) records.push_back(symptr + 18 * i);
    return records;
}

size_t find_record(const Bytes& b, const std::function<bool(size_t)>& match) {
    for (size_t p : primary_records(b)) {
        if (match(p)) return p;
    }
    ADD_FAILURE() << "no such record";
    return 0;
}

bool typed(const Bytes& b, size_t p) { return (b[p + 16] == 2 || b[p + 16] == 3) && (b[p + 14] | b[p + 15]); }
bool is_function(const Bytes& b, size_t p) { return typed(b, p) && (b[p + 15] & 0x30) == 0x20 && b[p + 17]; }

TEST(MalformedInput, EveryTruncationFailsOrGivesTheWholeResult) {
    for (const char* name : kRealFixtures) {
        const Bytes full = read_bytes(kData / (std::string(name) + ".coff"));
        const RunResult whole = run_in_memory(full, false);
        ASSERT_EQ(whole.status, 0);
        // Everything up to the last primary symbol record is needed.
        const size_t needed = primary_records(full).back() + 18;
        for (size_t size = 0; size < full.size(); ++size) {
            const Bytes cut(full.begin(), full.begin() + size);
            const RunResult r = run_in_memory(cut, size % 97 == 0);
            if (r.status == 0) {
                EXPECT_GE(size, needed) << name;
                EXPECT_EQ(r.sym, whole.sym) << name << " cut at " << size;
                EXPECT_EQ(r.lin, whole.lin) << name << " cut at " << size;
            } else {
                ASSERT_EQ(r.status, 1) << name << " cut at " << size;
                EXPECT_FALSE(r.committed);
                ASSERT_NE(r.out.find("test.coff" + kMalformed + "\n"), std::string::npos)
                    << name << " cut at " << size << "\n" << r.out;
            }
        }
    }
}

struct Mutation {
    const char* what;
    std::function<void(Bytes&)> apply;
    const char* record;  // start of the record named by the message
};

std::vector<Mutation> mutations() {
    return {
        {"f_symptr past the end", [](Bytes& b) { put32(b, 8, static_cast<uint32_t>(b.size()) + 100); },
         "symbol 0"},
        // The string table then lies far past the file: the first long name fails.
        {"f_nsyms 0xFFFFFFFF", [](Bytes& b) { put32(b, 12, 0xFFFFFFFF); }, "string-table name"},
        {"s_lnnoptr past the end",
         [](Bytes& b) { put32(b, 48 + 40 + 28, static_cast<uint32_t>(b.size())); },
         "line-number table of section 2"},
        {"x_lnnoptr past the end",
         [](Bytes& b) {
             const size_t f = find_record(b, [&](size_t p) { return is_function(b, p); });
             put32(b, f + 18 + 8, 0xFFFFFFF0);
         },
         "line-number entry 0"},
        {"n_offset past the end",
         [](Bytes& b) {
             const size_t s = find_record(b, [&](size_t p) { return typed(b, p) && be32(b, p) == 0; });
             put32(b, s + 4, 0x7FFFFFFF);
         },
         "string-table name"},
        {"x_offset past the end",
         [](Bytes& b) {
             const size_t f = find_record(b, [&](size_t p) {
                 return b[p + 16] == 103 && b[p + 17] && be32(b, p + 18) == 0;
             });
             put32(b, f + 18 + 4, 0x7FFFFFFF);
         },
         "string-table name"},
        {"n_numaux past the table",
         [](Bytes& b) { b[primary_records(b).back() + 17] = 40; }, "auxiliary record"},
        {".bf naming section 0",
         [](Bytes& b) {
             const size_t bf = find_record(b, [&](size_t p) { return std::memcmp(&b[p], ".bf", 4) == 0; });
             put16(b, bf + 12, 0);
         },
         ".bf at symbol"},
        {".bf naming a section above f_nscns",
         [](Bytes& b) {
             const size_t bf = find_record(b, [&](size_t p) { return std::memcmp(&b[p], ".bf", 4) == 0; });
             put16(b, bf + 12, static_cast<uint16_t>(b[3] + 1));
         },
         ".bf at symbol"},
        {"empty file", [](Bytes& b) { b.clear(); }, "file header"},
        {"string-table name without NUL",
         [](Bytes& b) {
             // The name of the last string-table symbol runs into the end.
             while (b.back() == 0) b.pop_back();
             const size_t s = find_record(b, [&](size_t p) { return typed(b, p) && be32(b, p) == 0; });
             const size_t stringTable = be32(b, 8) + 18 * size_t{be32(b, 12)};
             put32(b, s + 4, static_cast<uint32_t>(b.size() - stringTable - 3));
         },
         "string-table name without end"},
    };
}

ProcessResult run_binary(const fs::path& dir, const std::string& input) {
    return run_process(DRAVONT_BINARY, {input}, dir);
}

TEST(MalformedInput, CorruptFieldsEndTheRunAndKeepExistingFiles) {
    const fs::path dir = make_temp_dir("dravont-bad-");
    for (const Mutation& m : mutations()) {
        Bytes image = read_bytes(kData / "multi_h_O0.coff");
        m.apply(image);
        for (bool debug : {false, true}) {
            const RunResult r = run_in_memory(image, debug);
            EXPECT_EQ(r.status, 1) << m.what;
            EXPECT_NE(r.out.find("test.coff" + kMalformed + "\n" + m.record), std::string::npos)
                << m.what << "\n" << after_dumps(r.out);
        }
        std::ofstream(dir / "bad.coff", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        std::ofstream(dir / "bad.sym") << "kept symbols\n";
        std::ofstream(dir / "bad.lin") << "kept lines\n";
        const ProcessResult r = run_binary(dir, "bad.coff");
        EXPECT_EQ(r.status, 1) << m.what;
        EXPECT_NE(r.out.find("bad.coff" + kMalformed + "\n" + m.record), std::string::npos) << m.what;
        std::ifstream sym(dir / "bad.sym"), lin(dir / "bad.lin");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(sym), {}), "kept symbols\n") << m.what;
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(lin), {}), "kept lines\n") << m.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3) << m.what;
    }
    // A directory is no input file.
    fs::create_directory(dir / "dir.coff");
    const ProcessResult r = run_binary(dir, "dir.coff");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("dir.coff \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x97\x4c"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
