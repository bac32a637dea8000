// Loading the input file into memory, the two load dumps, the text column
// of the dumps, and the big-endian readers.
#include "coff/input_image.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/run_error.h"
#include "common/run_state.h"
#include "common/text_out.h"
#include "driver/run.h"
#include "output/output_files.h"
#include "support/platform.h"

namespace dravont {
namespace {

std::vector<uint8_t> as_vector(const InputImage& image) {
    return std::vector<uint8_t>(image.data(), image.data() + image.size());
}


TEST(PrintableChar, AllByteValues) {
    struct Range {
        int first, last;
        bool shownAsItself;
    };
    const std::vector<Range> ranges = {
        {0x00, 0x1F, false},  // control characters
        {0x20, 0x7F, true},   // ASCII, DEL included
        {0x80, 0x9F, false},  // lead bytes of double-byte characters
        {0xA0, 0xDF, true},   // half-width katakana
        {0xE0, 0xFF, false},
    };
    int next = 0;
    for (const Range& r : ranges) {
        ASSERT_EQ(r.first, next) << "the ranges must cover every byte value";
        for (int c = r.first; c <= r.last; ++c) {
            const int shown = static_cast<unsigned char>(printable_char(c));
            EXPECT_EQ(shown, r.shownAsItself ? c : '.') << "byte 0x" << std::hex << c;
        }
        next = r.last + 1;
    }
    EXPECT_EQ(next, 0x100);
    EXPECT_EQ(printable_char(-1), '.');
    EXPECT_EQ(printable_char(-128), '.');
}

class LoadImage : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = coff_test::make_temp_dir("dravont_img_").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_ + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        files_.push_back(path);
        return path;
    }
    // Loads `bytes` from a file in debug mode and returns what was printed.
    std::string debug_load(const std::vector<uint8_t>& bytes) {
        TextOut out;
        RunState state(out);
        state.debugMode = true;
        state.inputName = write_file("in.coff", bytes);
        EXPECT_EQ(load_image(state), 0);
        EXPECT_EQ(as_vector(state.image), bytes);
        return std::string(out.text());
    }

    std::string dir_;
    std::vector<std::string> files_;
};

// ------------ 読込データファイルのダンプリスト ------------
const std::string kFileTitle =
    "------------ \x93\xc7\x8d\x9e\x83\x66\x81\x5b\x83\x5e\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xcc\x83\x5f\x83\x93\x83\x76\x83\x8a\x83\x58\x83\x67 ------------\n";
// ------------- 読込データメモリのダンプリスト -------------
const std::string kMemoryTitle =
    "------------- \x93\xc7\x8d\x9e\x83\x66\x81\x5b\x83\x5e\x83\x81\x83\x82\x83\x8a"
    "\x82\xcc\x83\x5f\x83\x93\x83\x76\x83\x8a\x83\x58\x83\x67 -------------\n";
const std::string kHeading = " Address +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n";
const std::string kRule = std::string(58, '-') + "\n";
const std::string kBlockEnd = std::string(31, '-') + "\n\n";

std::string count_line(unsigned n) { return "Load Byte \x90\x94 : " + std::to_string(n) + "\n"; }
std::string blanks(int groups) { return std::string(3 * groups, ' '); }

// The whole debug output for the given rows; each row is written without its
// row start, which differs between the two dumps.
std::string dumps(const std::vector<std::string>& rows, unsigned n) {
    std::string file = kFileTitle + kHeading;
    std::string memory = kMemoryTitle + kHeading;
    char start[16];
    for (size_t r = 0; r < rows.size(); ++r) {
        std::snprintf(start, sizeof start, "%08zX", r * 16);
        file += "[" + std::string(start) + "] " + rows[r];
        memory += std::string(start) + " " + rows[r];
    }
    return file + kRule + count_line(n) + kBlockEnd + memory + kRule + "\n";
}

TEST_F(LoadImage, NothingPrintedWithoutDebugMode) {
    std::vector<uint8_t> bytes(300);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 7);
    TextOut out;
    RunState state(out);
    state.inputName = write_file("quiet.coff", bytes);
    EXPECT_EQ(load_image(state), 0);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(as_vector(state.image), bytes);
}

TEST_F(LoadImage, EmptyFile) {
    EXPECT_EQ(debug_load({}),
              kFileTitle + kHeading + kRule + "Load Byte \x90\x94 : 0\n" + kBlockEnd +
                  kMemoryTitle + kHeading + kRule + "\n");
}

TEST_F(LoadImage, ThreeBytes) {
    const std::string row = "41 42 43 " + blanks(13) + "| ABC \n";
    EXPECT_EQ(debug_load({0x41, 0x42, 0x43}),
              kFileTitle + kHeading + "[00000000] " + row + kRule + count_line(3) + kBlockEnd +
                  kMemoryTitle + kHeading + "00000000 " + row + kRule + "\n");
}

TEST_F(LoadImage, SixteenBytesMakeOneFullRow) {
    const std::vector<uint8_t> bytes = {0x00, 0x1F, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0x9F,
                                        0xA0, 0xB1, 0xDF, 0xE0, 0xFF, 0x2E, 0x5C, 0x0A};
    const std::string row =
        "00 1F 20 41 7E 7F 80 9F A0 B1 DF E0 FF 2E 5C 0A | "
        "..\x20" "A~\x7f..\xa0\xb1\xdf...\\. \n";
    EXPECT_EQ(debug_load(bytes), dumps({row}, 16));
}

TEST_F(LoadImage, SeventeenBytesStartASecondRow) {
    std::vector<uint8_t> bytes;
    for (uint8_t b = 'A'; b <= 'P'; ++b) bytes.push_back(b);
    bytes.push_back(0xC8);
    const std::string text = debug_load(bytes);
    EXPECT_EQ(text, dumps({"41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 | ABCDEFGHIJKLMNOP \n",
                           "C8 " + blanks(15) + "| \xc8 \n"},
                          17));
    EXPECT_NE(text.find("[00000010] C8 "), std::string::npos);
    EXPECT_NE(text.find("\n00000010 C8 "), std::string::npos);
}

TEST_F(LoadImage, HighBytesShowTwoHexDigits) {
    std::vector<uint8_t> bytes;
    for (int b = 0x80; b <= 0xFF; ++b) bytes.push_back(static_cast<uint8_t>(b));
    const std::string text = debug_load(bytes);
    const std::vector<std::string> rows = {
        "[00000000] 80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F | ................ \n",
        "00000020 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF | "
        "\xa0\xa1\xa2\xa3\xa4\xa5\xa6\xa7\xa8\xa9\xaa\xab\xac\xad\xae\xaf \n",
        "[00000050] D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC DD DE DF | "
        "\xd0\xd1\xd2\xd3\xd4\xd5\xd6\xd7\xd8\xd9\xda\xdb\xdc\xdd\xde\xdf \n",
        "00000070 F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF | ................ \n",
    };
    for (const std::string& row : rows) EXPECT_NE(text.find(row), std::string::npos) << row;
    EXPECT_NE(text.find(count_line(128)), std::string::npos);
    EXPECT_EQ(text.find("FFF"), std::string::npos);
}

TEST_F(LoadImage, UnreadableInputGivesMinusOneSilently) {
    const std::string sub = dir_ + "/sub.coff";
    ASSERT_TRUE(std::filesystem::create_directory(sub));
    for (const std::string& name : {dir_ + "/missing.coff", sub}) {
        SCOPED_TRACE(name);
        TextOut out;
        RunState state(out);
        state.debugMode = true;
        state.inputName = name;
        EXPECT_EQ(load_image(state), -1);
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(state.image.size(), 0u);
    }
}

TEST_F(LoadImage, ImageHoldsExactlyTheFileBytes) {
    std::mt19937 random(20240611);
    for (size_t size : {size_t{1}, size_t{4095}, size_t{4096}, size_t{4097}, size_t{1} << 20,
                        (size_t{1} << 20) + 3}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        TextOut out;
        RunState state(out);
        state.inputName = write_file("big" + std::to_string(size) + ".coff", bytes);
        ASSERT_EQ(load_image(state), 0);
        EXPECT_EQ(state.image.size(), size);
        EXPECT_TRUE(as_vector(state.image) == bytes);
    }
}

#if !defined(_WIN32)
// A regular file is mapped. Should it shrink while the image is read, the
// bytes past its new end read as zeros instead of killing the process, the
// image says it changed, and the run fails without committing either file.
TEST_F(LoadImage, MappedFileThatShrinksReadsZerosAndFailsTheRun) {
    std::vector<uint8_t> bytes(40000);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k % 251 + 1);
    {
        TextOut out;
        RunState state(out);
        state.inputName = write_file("shrinks.coff", bytes);
        ASSERT_EQ(load_image(state), 0);
        ASSERT_NE(state.image.mapped, nullptr);
        EXPECT_TRUE(as_vector(state.image) == bytes);
        EXPECT_FALSE(state.image.changed());
        std::filesystem::resize_file(state.inputName, 10000);
        const std::vector<uint8_t> seen = as_vector(state.image);
        EXPECT_TRUE(std::equal(seen.begin(), seen.begin() + 10000, bytes.begin()));
        EXPECT_TRUE(std::all_of(seen.begin() + 10000, seen.end(), [](uint8_t b) { return b == 0; }));
        EXPECT_TRUE(state.image.changed());
    }

    // An ELF input whose section table is gone by the time it is read.
    const std::string fixture = std::string(DRAVONT_TEST_DATA) + "/elf/multi_ml_O0_dw5.elf";
    std::FILE* f = std::fopen(fixture.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> elf(1 << 20);
    elf.resize(std::fread(elf.data(), 1, elf.size(), f));
    std::fclose(f);
    ASSERT_GT(elf.size(), 4096u);
    TextOut out;
    RunState state(out);
    state.inputName = write_file("shrinks.elf", elf);
    ASSERT_EQ(load_image(state), 0);
    std::filesystem::resize_file(state.inputName, 4096);
    allocate_slots(state);
    state.symbolFileName = dir_ + "/shrinks.sym";
    state.lineFileName = dir_ + "/shrinks.lin";
    MemoryOutputs outputs;
    state.outputs = &outputs;
    EXPECT_EQ(convert_image(state), 1);
    EXPECT_FALSE(outputs.committed());
    EXPECT_NE(out.text().find("shrank while it was read"), std::string::npos) << out.text();
    release_slots(state);
}

TEST_F(LoadImage, FifoIsRefusedWithoutWaitingForAWriter) {
    const std::string fifo = dir_ + "/pipe.coff";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    files_.push_back(fifo);
    TextOut out;
    RunState state(out);
    state.inputName = fifo;
    int reason = 0;
    EXPECT_EQ(load_image(state, &reason), -1);
    EXPECT_EQ(reason, kInputIsFifo);
    EXPECT_EQ(state.image.size(), 0u);
}
#endif

TEST(ReadBigEndian, ValuesAtAnyPosition) {
    InputImage image;
    image.bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    EXPECT_EQ(read_be16(image, 0), 0x1234u);
    EXPECT_EQ(read_be16(image, 1), 0x3456u);
    EXPECT_EQ(read_be16(image, 6), 0xDEF0u);
    EXPECT_EQ(read_be32(image, 0), 0x12345678u);
    EXPECT_EQ(read_be32(image, 3), 0x789ABCDEu);
    EXPECT_EQ(read_be32(image, 4), 0x9ABCDEF0u);
}

TEST(ReadBigEndian, OutsideTheImageThrows) {
    InputImage image;
    image.bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    for (uint64_t position : {uint64_t{7}, uint64_t{8}, uint64_t{9}, ~uint64_t{0}, ~uint64_t{0} - 1}) {
        SCOPED_TRACE(position);
        EXPECT_THROW(read_be16(image, position), MalformedInput);
    }
    for (uint64_t position : {uint64_t{5}, uint64_t{7}, uint64_t{8}, ~uint64_t{0} - 2}) {
        SCOPED_TRACE(position);
        EXPECT_THROW(read_be32(image, position), MalformedInput);
    }
    try {
        read_be32(image, 6);
        ADD_FAILURE() << "no exception";
    } catch (const MalformedInput& e) {
        EXPECT_EQ(e.offset(), 6u);
        EXPECT_EQ(e.fileSize(), 8u);
    }
    const InputImage empty;
    EXPECT_THROW(read_be16(empty, 0), MalformedInput);
    EXPECT_THROW(read_be32(empty, 0), MalformedInput);
}

}  // namespace
}  // namespace dravont
