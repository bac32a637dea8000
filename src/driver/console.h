// What the process's environment decides about the messages: their encoding,
// the language of standard error, and whether standard output and standard
// error are one file. Decided once in main and handed to the run, so that
// in-process runs (tests, fuzzing) behave the same anywhere.
#pragma once

#include <string>

#include "common/diagnostics.h"

namespace dravont {

struct Console {
    bool utf8 = true;                       // messages in UTF-8 rather than CP932
    Language language = Language::English;  // of standard error
    bool sharedStreams = false;             // standard output and error are one file
};

// The console of this process.
Console detect_console();

// The rules, apart from the system calls. `locale` is the name the
// environment gives (empty when none is set); `codeset` the character set
// the C library found for it, or null when it does not know the locale.
// The C and POSIX locales count as UTF-8, as current runtimes take them.
bool locale_uses_utf8(const std::string& locale, const char* codeset);
// Japanese for a locale named "ja", "ja_JP.UTF-8", "ja_JP.SJIS@x" and the like.
Language language_of_locale(const std::string& locale);

}  // namespace dravont
