// dravont: converts an executable for H8/300, H8/300H, H8S or SH (big-endian
// COFF, or ELF with DWARF) into the symbol file and the line file of the
// target debugger.
//
// What depends on the process's environment is decided here and handed to
// the run: the encoding of the messages and whether standard output is a
// terminal. In-process runs (tests, fuzzing) thus behave the same anywhere.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
// Only the console functions are needed; without NOGDI, <windows.h> defines
// TextOut as a macro (TextOutA), which would rename dravont::TextOut.
#define NOGDI
#include <windows.h>
#else
#include <langinfo.h>
#if defined(__linux__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <clocale>
#endif

#include "common/text_out.h"
#include "driver/run.h"

namespace {

#if !defined(_WIN32)

// True for "UTF-8", "utf8" and the like.
bool names_utf8(std::string codeset) {
    std::string letters;
    for (const char c : codeset) {
        if (c != '-' && c != '_') letters += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return letters == "utf8";
}

// The character set part of a locale name such as "ja_JP.UTF-8@euro".
std::string codeset_of(const std::string& locale) {
    const size_t dot = locale.find('.');
    if (dot == std::string::npos) return {};
    return locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
}

// The locale the environment names for LC_CTYPE, as setlocale looks it up.
std::string ctype_locale_name() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

#endif

// Messages follow the platform: UTF-8 where the locale's character set (the
// Windows console's output code page) is UTF-8, Shift_JIS otherwise.
bool platform_uses_utf8() {
#if defined(_WIN32)
    return GetConsoleOutputCP() == CP_UTF8;
#else
    bool utf8;
    if (std::setlocale(LC_CTYPE, "")) {
        utf8 = names_utf8(nl_langinfo(CODESET));
    } else {
        // A locale that is named but not installed still tells what the
        // terminal shows.
        utf8 = names_utf8(codeset_of(ctype_locale_name()));
    }
    std::setlocale(LC_CTYPE, "C");  // the conversion itself never depends on the locale
    return utf8;
#endif
}

bool stdout_is_terminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The same bytes on every platform: no "\r" added before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
#if defined(__GLIBC__)
    // A run allocates and frees buffers of a few megabytes unit after unit;
    // kept in the heap rather than handed back to the system, they are not
    // faulted in afresh each time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    std::vector<std::string> args(argv, argv + argc);
    const bool utf8 = platform_uses_utf8();
    int status;
    {
        dravont::TextOut err(stderr);
        dravont::TextOut out(stdout);
        out.set_utf8(utf8);
        err.set_utf8(utf8);
        // A failure printed only into a file or a pipe would pass unseen.
        out.set_diagnostics(&err, !stdout_is_terminal());
        status = dravont::run_command_line(args, out);
        // Only the closing summary can be left to write here: a run checks
        // standard output before it replaces the files.
        if (!out.sync()) {
            if (status == 0) {
                err.put("dravont: cannot write standard output");
                if (out.error() != 0) err.put(" (").put(std::strerror(out.error())).put(')');
                err.put(" after the output files were written\n");
            }
            status = 1;
        }
        err.flush();
    }
    std::fflush(stderr);
    return status;
}
