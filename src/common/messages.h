// Texts the tool prints. The Japanese messages are CP932 (Shift_JIS) byte
// sequences, which is what the target debugger's users expect on their
// consoles; the readable text stands beside each.
#pragma once

namespace dravont::msg {

// A Japanese message in both encodings: CP932, or UTF-8 where the locale's
// character set is UTF-8 or with --utf8.
struct Message {
    const char* cp932;
    const char* utf8;
};

inline constexpr char kBanner[] = "GNU/gcc H8S/SH-2 coff Converter tool Ver1.03\n";
inline constexpr char kUsageLine[] = "dravont [InputFileName] -o [OutputFileName]\n\n";
inline constexpr char kBlockEnd[] = "-------------------------------\n\n";
// The compressions of debug sections this build inflates: zstd only where it
// was built with libzstd.
#ifdef DRAVONT_HAVE_ZSTD
#define DRAVONT_COMPRESSIONS "zlib, zstd"
#else
#define DRAVONT_COMPRESSIONS "zlib"
#endif
inline constexpr char kVersion[] =
    "dravont " DRAVONT_VERSION "\nreads compressed debug sections: " DRAVONT_COMPRESSIONS "\n";
inline constexpr char kHelp[] =
    "Usage: dravont [InputFileName] [-o|-O OutputFileName] [-debug] [--utf8|--sjis]\n"
    "Converts an executable for H8/300, H8/300H, H8S or SH into the two files a\n"
    "target debugger loads: BASE.sym, one line per typed external and static symbol\n"
    "(value, name, size class), and BASE.lin, a marker per source file and\n"
    "address/line records per function. Inputs: big-endian COFF as GCC 3.4 for\n"
    "h8300-hms writes it, and 32-bit ELF executables (either byte order, e_machine\n"
    "46 or 42) with DWARF 2 to 5 as GNU toolchains for h8300-elf and sh-elf write\n"
    "them; the file's first bytes tell the format. BASE is the output name, or\n"
    "else the input name, cut before its extension. An input name without one\n"
    "gets \".coff\" (NAME stands for itself when NAME.coff does not exist and NAME\n"
    "is a file).\n"
    "A slash or a backslash separates directories. Each part of a name may hold\n"
    "one dot, before its extension, and may not start with one: fw.v1.2.elf and\n"
    ".fw.elf are refused.\n"
    "\n"
    "  -o NAME, -O NAME  take the base of the output names from NAME\n"
    "  -debug            list the whole input (dumps, headers, sections, line\n"
    "                    numbers, symbols; for ELF the DWARF entities and line\n"
    "                    rows with what became of each) on standard output\n"
    "  --utf8            print messages in UTF-8\n"
    "  --sjis            print messages in Shift_JIS (CP932)\n"
    "  --help            print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Messages go to standard output, in Japanese: UTF-8 when the locale's character\n"
    "set is UTF-8 or no locale is set (C, POSIX), Shift_JIS where it names another\n"
    "character set (on Windows: UTF-8 when the console's output code page is\n"
    "65001, else Shift_JIS). --utf8 and --sjis override that; the last one given\n"
    "wins. The output files are the same bytes in every case.\n"
    "\n"
    "Standard error explains each failure: the file, what is wrong and what to\n"
    "do, in Japanese where LC_ALL, LC_MESSAGES or LANG names ja (on Windows: a\n"
    "Japanese user interface), in English otherwise. It also warns of words the\n"
    "command line ignores, of an input without debugging information (two empty\n"
    "files) and of NAME and NAME.coff both existing. The manual page lists every\n"
    "message of standard output in English.\n"
    "\n"
    "Exit status: 0 when the conversion completes, 1 on any failure.\n";

// 出力ファイル名が入力されていません。 (no output file name has been entered)
inline constexpr Message kNoOutputName{
    "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
      "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n",
    u8"出力ファイル名が入力されていません。\n\n"};
// 入力ファイル名が入力されていません。 (no input file name has been entered)
inline constexpr Message kNoInputName{
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
      "\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n",
    u8"入力ファイル名が入力されていません。\n\n"};
// " 入力ファイル名に誤りがあります。" (the input file name is wrong), after the name
inline constexpr Message kBadInputName{
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc9\x8c\xeb\x82\xe8"
      "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\n\n",
    u8" 入力ファイル名に誤りがあります。\n\n"};
// " 出力ファイル名に誤りがあります。" (the output file name is wrong), after the name
inline constexpr Message kBadOutputName{
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc9\x8c\xeb\x82\xe8"
      "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\n\n",
    u8" 出力ファイル名に誤りがあります。\n\n"};
// " ファイルが有りません！！" (the file does not exist), after the name; no line end
inline constexpr Message kNoSuchFile{
    " \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x97\x4c\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
      "\x81\x49\x81\x49",
    u8" ファイルが有りません！！"};
// 引数の数: (number of arguments)
inline constexpr Message kArgCount{
    "\x88\xf8\x90\x94\x82\xcc\x90\x94:",
    u8"引数の数:"};
// 引数 (argument)
inline constexpr Message kArgument{
    "\x88\xf8\x90\x94 ",
    u8"引数 "};
// ファイル: (file)
inline constexpr Message kCheckFile{
    "\x83\x74\x83\x40\x83\x43\x83\x8b:",
    u8"ファイル:"};
// 入力ファイル: (input file)
inline constexpr Message kInputFile{
    "\x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b:",
    u8"入力ファイル:"};
// 出力ファイル: (output file)
inline constexpr Message kOutputFile{
    "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b:",
    u8"出力ファイル:"};
// 出力シンボル: (output symbols)
inline constexpr Message kOutputSymbols{
    "\x8f\x6f\x97\xcd\x83\x56\x83\x93\x83\x7b\x83\x8b:",
    u8"出力シンボル:"};
// 出力ラインNo: (output line numbers)
inline constexpr Message kOutputLines{
    "\x8f\x6f\x97\xcd\x83\x89\x83\x43\x83\x93No:",
    u8"出力ラインNo:"};
// ------------ 読込データファイルのダンプリスト ------------ (dump of the loaded file)
inline constexpr Message kFileDumpTitle{
    "------------ \x93\xc7\x8d\x9e\x83\x66\x81\x5b\x83\x5e\x83\x74\x83\x40\x83\x43\x83\x8b"
      "\x82\xcc\x83\x5f\x83\x93\x83\x76\x83\x8a\x83\x58\x83\x67 ------------\n",
    u8"------------ 読込データファイルのダンプリスト ------------\n"};
// ------------- 読込データメモリのダンプリスト ------------- (dump of the loaded memory)
inline constexpr Message kMemoryDumpTitle{
    "------------- \x93\xc7\x8d\x9e\x83\x66\x81\x5b\x83\x5e\x83\x81\x83\x82\x83\x8a"
      "\x82\xcc\x83\x5f\x83\x93\x83\x76\x83\x8a\x83\x58\x83\x67 -------------\n",
    u8"------------- 読込データメモリのダンプリスト -------------\n"};
// "Load Byte 数 : " (number of loaded bytes)
inline constexpr Message kLoadByteCount{
    "Load Byte \x90\x94 : ",
    u8"Load Byte 数 : "};
// SH coffファイル (SH coff file)
inline constexpr Message kShFamily{
    "SH coff\x83\x74\x83\x40\x83\x43\x83\x8b\n\n",
    u8"SH coffファイル\n\n"};
// H8300 coffファイル (H8300 coff file)
inline constexpr Message kH8Family{
    "H8300 coff\x83\x74\x83\x40\x83\x43\x83\x8b\n\n",
    u8"H8300 coffファイル\n\n"};

// Messages of the failure endings added to the original set.
// " 入力ファイルの形式に誤りがあります。" (the input file's format is wrong)
inline constexpr Message kMalformedInput{
    " \x93\xfc\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae\x82\xc9"
      "\x8c\xeb\x82\xe8\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42",
    u8" 入力ファイルの形式に誤りがあります。"};
// " リンク済みの実行ファイルではありません。" (not a linked executable)
inline constexpr Message kNotExecutable{
    " \x83\x8a\x83\x93\x83\x4e\x8d\xcf\x82\xdd\x82\xcc\x8e\xc0\x8d\x73\x83\x74\x83\x40"
      "\x83\x43\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42",
    u8" リンク済みの実行ファイルではありません。"};
// " 出力ファイル名が入力ファイル名と同じです。" (output name equals the input name)
inline constexpr Message kOutputIsInput{
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x97\xcd"
      "\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xc6\x93\xaf\x82\xb6\x82\xc5\x82\xb7"
      "\x81\x42\n\n",
    u8" 出力ファイル名が入力ファイル名と同じです。\n\n"};
// " 出力ファイルを作成できません。" (the output file cannot be created)
inline constexpr Message kCannotCreate{
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8d\xec\x90\xac\x82\xc5"
      "\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42",
    u8" 出力ファイルを作成できません。"};
// " 出力ファイルに書き込めません。" (the output file cannot be written)
inline constexpr Message kCannotWrite{
    " \x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc9\x8f\x91\x82\xab\x8d\x9e"
      "\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x81\x42",
    u8" 出力ファイルに書き込めません。"};
// " メモリが足りません。" (not enough memory), after the input name
inline constexpr Message kOutOfMemory{
    " \x83\x81\x83\x82\x83\x8a\x82\xaa\x91\xab\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42\n\n",
    u8" メモリが足りません。\n\n"};

}  // namespace dravont::msg
