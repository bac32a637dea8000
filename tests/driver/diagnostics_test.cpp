// The diagnostics of standard error: their language, their layout beside
// standard output, the rules that choose them, and what they say about
// refused names and inputs.
#include "common/diagnostics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <iconv.h>
#endif

#include "common/run_state.h"
#include "common/text_out.h"
#include "driver/console.h"
#include "driver/file_names.h"
#include "driver/run.h"
#include "support/elf_builder.h"
#include "support/elf_samples.h"
#include "support/platform.h"
#include "support/test_run.h"

namespace dravont {
namespace {

namespace fs = std::filesystem;

const fs::path kData = DRAVONT_TEST_DATA;

std::string replaced(std::string text, const std::string& dir) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + dir.size())) {
        text.replace(at, 1, dir);
    }
    return text;
}

TEST(Diagnostics, ByLanguageAndStreamLayout) {
    const fs::path dir = coff_test::make_temp_dir("dravont-diag-");
    fs::copy_file(kData / "multi_h_O0.coff", dir / "fw.coff");
    const std::string noFile = "dravont: error: @/nothere.coff: cannot read the input file: No such file or directory\n"
                               "dravont: hint: check the name and the directory; a name without extension is read as "
                               "NAME.coff, or else as NAME itself\n";
    const std::string noFileJa = u8"dravont: エラー: @/nothere.coff: 入力ファイルを読めません: No such file or directory\n"
                                 u8"dravont: 対処: 名前とディレクトリを確かめてください。拡張子のない名前は NAME.coff "
                                 u8"として、それがなければ NAME そのものとして読みます。\n";
    const std::string lastO = "dravont: error: no output file name after -o, the last word of the command line\n";
    const std::string lastOHint = "dravont: hint: put the output name after it (dravont INPUT -o OUTPUT), or leave -o "
                                  "out to name the files after the input\n";
    const std::string lastOJa = u8"dravont: エラー: -o の後に出力ファイル名がありません（-o がコマンド行の最後の語です）。\n";
    const std::string lastOHintJa = u8"dravont: 対処: -o の後に出力名を書くか（dravont 入力ファイル -o 出力ファイル）、"
                                    u8"-o を省いて入力ファイル名から名付けてください。\n";
    const auto E = Language::English;
    const auto J = Language::Japanese;
    const struct {
        std::vector<std::string> words;
        Language language;
        bool shared;  // standard error is the file standard output goes to
        std::string err;
    } cases[] = {
        {{"@/nothere"}, E, false, noFile},
        // The message on standard output has no line end: the diagnostic
        // after it in the same file starts a line of its own.
        {{"@/nothere"}, E, true, "\n" + noFile},
        {{"@/nothere"}, J, false, noFileJa},
        // The system's reason is more than standard output said: kept.
        {{"@/nothere"}, J, true, "\n" + noFileJa},
        {{"@/fw.coff", "-o"}, E, false, lastO + lastOHint},
        {{"@/fw.coff", "-o"}, E, true, lastO + lastOHint},
        {{"@/fw.coff", "-o"}, J, false, lastOJa + lastOHintJa},
        // In one file, Japanese: the line that repeats standard output goes.
        {{"@/fw.coff", "-o"}, J, true, lastOHintJa},
        {{"@/fw.coff", "--debug"}, E, true, "dravont: warning: unknown option ignored: --debug\n"},
        {{"@/fw.coff", "--debug"}, J, true, u8"dravont: 警告: 不明なオプションを無視します: --debug\n"},
        // Japanese follows the encoding of standard output.
        {{"--sjis", "@/fw.coff", "--debug"},
         J,
         false,
         "dravont: \x8c\x78\x8d\x90: \x95\x73\x96\xbe\x82\xc8\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x82"
         "\xf0\x96\xb3\x8e\x8b\x82\xb5\x82\xdc\x82\xb7: --debug\n"},  // 警告: 不明なオプションを無視します
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"dravont"};
        for (const std::string& w : c.words) words.push_back(replaced(w, dir.string()));
        SCOPED_TRACE(words[1] + (c.language == J ? " ja" : " en") + (c.shared ? " shared" : ""));
        TextOut out, err;
        out.set_utf8(true);
        err.set_utf8(true);
        Diagnostics diagnostics(err, c.language, c.shared);
        out.set_diagnostics(&diagnostics);
        run_command_line(words, out);
        EXPECT_EQ(err.text(), replaced(c.err, dir.string()));
    }
    fs::remove_all(dir);
}

TEST(Diagnostics, LocaleRules) {
    const struct {
        std::string locale;
        const char* codeset;  // what the C library found, or null: not installed
        bool utf8;
        Language language;
    } cases[] = {
        {"", "ANSI_X3.4-1968", true, Language::English},  // nothing set
        {"C", "ANSI_X3.4-1968", true, Language::English},
        {"POSIX", "ANSI_X3.4-1968", true, Language::English},
        {"C.UTF-8", "UTF-8", true, Language::English},
        {"en_US.utf8", "UTF-8", true, Language::English},
        {"ja_JP.UTF-8", nullptr, true, Language::Japanese},
        {"ja_JP.SJIS", "SHIFT_JIS", false, Language::Japanese},
        {"ja_JP.eucJP@x", nullptr, false, Language::Japanese},
        {"ja", nullptr, false, Language::Japanese},
        {"en_US", "ISO-8859-1", false, Language::English},
        {"jam_JM.UTF-8", nullptr, true, Language::English},  // not "ja"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(locale_uses_utf8(c.locale, c.codeset), c.utf8);
        EXPECT_EQ(language_of_locale(c.locale), c.language);
    }
}

TEST(Diagnostics, WhyANameIsRefused) {
    const struct {
        std::string name;
        const msg::Phrase* rule;  // null: accepted
        std::string part, mended;
    } cases[] = {
        {"fw.v1.2.elf", &msg::kRuleTwoDots, "fw.v1.2.elf", "fw_v1_2.elf"},
        {"fw.release.elf", &msg::kRuleTwoDots, "fw.release.elf", "fw_release.elf"},
        {"out/v1.2.3/fw.elf", &msg::kRuleTwoDots, "v1.2.3", "v1_2.3"},
        {"a...", &msg::kRuleThreeDots, "a...", "a"},
        {".hidden", &msg::kRuleLeadingDot, ".hidden", "hidden"},
        {"dir\\.x.o", &msg::kRuleLeadingDot, ".x.o", "x.o"},
        {"a.", &msg::kRuleTrailingDot, "a.", "a"},
        {".", &msg::kRuleTrailingDot, ".", "x"},
        {"dir\\\\x", &msg::kRuleDoubleBackslash, "\\\\", "\\"},
        {"fw.elf", nullptr, "", ""},
        {"../build/fw.elf", nullptr, "", ""},
        {"a..", nullptr, "", ""},
    };
    TextOut out;
    RunState state(out);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NameFault f = explain_name_fault(c.name);
        EXPECT_EQ(f.rule, c.rule);
        EXPECT_EQ(f.component, c.part);
        EXPECT_EQ(f.mended, c.mended);
        // Explained exactly when refused, and the mended name passes.
        EXPECT_EQ(check_file_name(state, c.name) == -1, c.rule != nullptr);
        if (c.rule) {
            const std::string fixed = c.name.substr(0, f.begin) + f.mended + c.name.substr(f.end);
            EXPECT_NE(check_file_name(state, fixed), -1) << fixed;
        }
    }
}

TEST(Diagnostics, InputsRefusedOrEmpty) {
    using elf_test::ElfBuilder;
    const auto put16 = [](std::vector<uint8_t>& b, size_t at, uint16_t v) {  // big-endian, as the sample
        b[at] = static_cast<uint8_t>(v >> 8);
        b[at + 1] = static_cast<uint8_t>(v);
    };
    const auto patched = [](auto change) {
        std::vector<uint8_t> b = elf_test::sample_program(true, 42, 4);
        change(b);
        return b;
    };
    ElfBuilder bare(true, 42);
    bare.add_section({".text", 1, 6, 0x1000, std::vector<uint8_t>(0x10, 0)});
    std::ifstream object(kData / "object_h.obj", std::ios::binary);
    const std::vector<uint8_t> coffObject{std::istreambuf_iterator<char>(object), {}};
    std::ifstream fixture(kData / "multi_h_O0.coff", std::ios::binary);
    std::vector<uint8_t> stripped{std::istreambuf_iterator<char>(fixture), {}};
    for (int i = 12; i < 16; ++i) stripped[static_cast<size_t>(i)] = 0;  // f_nsyms
    const std::string notOurs = "dravont: error: test.coff: not an executable this tool reads: ";
    const std::string fixMachine =
        "dravont: hint: this tool reads 32-bit ELF executables for H8/300, H8/300H and H8S (e_machine 46) "
        "and SH (42): convert the firmware's executable\n";
    const struct {
        std::string name;
        std::vector<uint8_t> image;
        int status;
        std::string err;
    } cases[] = {
        {"ARM", patched([&](auto& b) { put16(b, 18, 40); }), 1,
         notOurs + "e_machine 40 (ARM)\n" + fixMachine},
        {"unknown machine", patched([&](auto& b) { put16(b, 18, 9999); }), 1,
         notOurs + "e_machine 9999, a machine this tool does not know\n" + fixMachine},
        {"64-bit", patched([](auto& b) { b[4] = 2; }), 1, notOurs + "EI_CLASS 2: a 64-bit ELF file\n" + fixMachine},
        {"shared object", patched([&](auto& b) { put16(b, 16, 3); }), 1,
         notOurs + "e_type 3 (ET_DYN): a shared object or a position-independent executable\n"
                   "dravont: hint: link an executable (ET_EXEC): without -shared and -pie\n"},
        {"ELF object", patched([&](auto& b) { put16(b, 16, 1); }), 1,
         notOurs + "e_type 1 (ET_REL): a relocatable object\n"
                   "dravont: hint: link the objects into an executable and convert that\n"},
        {"COFF object", coffObject, 1,
         notOurs + "f_opthdr 0: a relocatable object (.o), which has no a.out header\n"
                   "dravont: note: f_magic 0x8301: H8/300H COFF\n"
                   "dravont: hint: link the objects into an executable and convert that\n"},
        // Any file that is not ELF is read as COFF: its first bytes are named.
        {"text file", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'}, 1,
         "dravont: error: test.coff: the file is damaged or cut short: file header (offset 0x0, file size 6)\n"
         "dravont: note: f_magic 0x6865: no COFF magic number of H8 (0x8300 to 0x8304) or SH (0x0500, 0x0550)\n"
         "dravont: hint: link it again; if the toolchain's readelf or objdump reads it without complaint, "
         "report the fault with the file\n"},
        {"no DWARF", bare.build(), 0,
         "dravont: warning: test.coff: no DWARF information (built without -g, or stripped): test.sym and test.lin "
         "are written empty\n"
         "dravont: hint: build with -g and convert the executable before it is stripped\n"},
        {"stripped COFF", stripped, 0,
         "dravont: warning: test.coff: no symbol table (stripped): test.sym and test.lin are written empty\n"
         "dravont: hint: build with -g and convert the executable before it is stripped (no -s when linking)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const coff_test::RunResult r = coff_test::run_in_memory(c.image, false);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(r.err, c.err);
        if (c.status == 0) {
            EXPECT_EQ(r.sym + r.lin, "");
        }
    }
}

#if !defined(_WIN32)
TEST(Diagnostics, JapaneseTextsAreTheirUtf8InCp932) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "the C library converts no CP932";
    for (const msg::Phrase* p : msg::kAllPhrases) {
        std::string in = p->japanese.utf8, out(in.size() * 2, '\0');
        char* from = in.data();
        char* to = out.data();
        size_t fromLeft = in.size(), toLeft = out.size();
        ASSERT_NE(iconv(cd, &from, &fromLeft, &to, &toLeft), static_cast<size_t>(-1)) << p->english;
        out.resize(out.size() - toLeft);
        EXPECT_EQ(out, p->japanese.cp932) << p->english;
    }
    iconv_close(cd);
}
#endif

}  // namespace
}  // namespace dravont
