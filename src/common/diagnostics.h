// The diagnostics of standard error: what went wrong, in the user's
// language, naming the file and what to do about it.
//
// Standard output keeps the tool's own messages (Japanese, as its users have
// always read them); standard error says the same for a reader of English
// or of Japanese, and adds the remedy. Everything sent there goes out at
// once, after whatever standard output holds, so that a build log that
// takes both streams shows each diagnostic after the message it explains.
#pragma once

#include <string>
#include <vector>

#include "common/diagnostic_texts.h"

namespace dravont {

class TextOut;

enum class Language { English, Japanese };

// One sentence: a phrase and the words for its places "%1", "%2", ...; each
// word is plain text (a file name, a number) or a phrase of its own.
struct Said {
    Said() = default;
    Said(std::string plain) : word(std::move(plain)) {}
    Said(const char* plain) : word(plain) {}
    Said(const msg::Phrase& p, std::vector<Said> words = {}) : phrase(&p), args(std::move(words)) {}
    bool empty() const { return !phrase && word.empty(); }

    const msg::Phrase* phrase = nullptr;
    std::vector<Said> args;
    std::string word;  // the text itself, when there is no phrase
};

// The sentence in `language`; Japanese in UTF-8 or in CP932.
std::string render(const Said& said, Language language, bool utf8);

struct Diagnostic {
    Diagnostic() = default;
    Diagnostic(Said what, Said more = {}, Said fix = {}, bool restates = false)
        : problem(std::move(what)), note(std::move(more)), remedy(std::move(fix)), restatesOutput(restates) {}

    Said problem;  // the file and what is wrong with it
    Said note;     // more about it, or nothing
    Said remedy;   // what to do, or nothing
    // The problem says no more than the message on standard output: where
    // both streams go to one place and the diagnostic is Japanese, that
    // line is left out.
    bool restatesOutput = false;
};

// Standard error, in one language, and whether it is the same file (or the
// same terminal) as standard output.
class Diagnostics {
public:
    Diagnostics(TextOut& err, Language language, bool sharesOutput)
        : err_(err), language_(language), sharesOutput_(sharesOutput) {}
    Language language() const { return language_; }

    // Both flush `out` first, and write the diagnostic at once.
    void failure(TextOut& out, const Diagnostic& d) { report(out, msg::kErrorLabel, d); }
    void warning(TextOut& out, const Diagnostic& d) { report(out, msg::kWarningLabel, d); }

private:
    void report(TextOut& out, const msg::Phrase& label, const Diagnostic& d);
    void line(const msg::Phrase& label, const Said& text, bool utf8);

    TextOut& err_;
    Language language_;
    bool sharesOutput_;
};

}  // namespace dravont
