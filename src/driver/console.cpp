#include "driver/console.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#if defined(_WIN32)
#include <io.h>
// Without NOGDI, <windows.h> defines TextOut as a macro (TextOutA).
#define NOGDI
#include <windows.h>
#else
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#endif

namespace dravont {

namespace {

// True for "UTF-8", "utf8" and the like.
bool names_utf8(const std::string& codeset) {
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

#if !defined(_WIN32)

// The locale the environment names for a category, as setlocale looks it up.
std::string locale_named(std::initializer_list<const char*> variables) {
    for (const char* variable : variables) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

bool ctype_uses_utf8() {
    const std::string name = locale_named({"LC_ALL", "LC_CTYPE", "LANG"});
    // A locale that is named but not installed still tells what the
    // terminal shows, by its name.
    const char* codeset = std::setlocale(LC_CTYPE, "") ? nl_langinfo(CODESET) : nullptr;
    const bool utf8 = locale_uses_utf8(name, codeset);
    std::setlocale(LC_CTYPE, "C");  // the conversion itself never depends on the locale
    return utf8;
}

// One file, or one terminal: the same device and inode.
bool streams_shared() {
    struct stat out {}, err {};
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 &&
           out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

#else

// One console, or one file; pipes cannot be told apart and count as two.
bool streams_shared() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) && GetConsoleMode(err, &mode)) return true;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return GetFileInformationByHandle(out, &a) && GetFileInformationByHandle(err, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

#endif

}  // namespace

bool locale_uses_utf8(const std::string& locale, const char* codeset) {
    if (locale.empty() || locale == "C" || locale == "POSIX") return true;
    return names_utf8(codeset ? std::string(codeset) : codeset_of(locale));
}

Language language_of_locale(const std::string& locale) {
    const bool ja = locale.compare(0, 2, "ja") == 0 &&
                    (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
    return ja ? Language::Japanese : Language::English;
}

Console detect_console() {
    Console c;
#if defined(_WIN32)
    // The console's code page, and the language of the user interface.
    c.utf8 = GetConsoleOutputCP() == CP_UTF8;
    c.language = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese
                                                                           : Language::English;
#else
    c.utf8 = ctype_uses_utf8();
    c.language = language_of_locale(locale_named({"LC_ALL", "LC_MESSAGES", "LANG"}));
#endif
    c.sharedStreams = streams_shared();
    return c;
}

}  // namespace dravont
