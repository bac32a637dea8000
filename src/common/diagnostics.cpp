#include "common/diagnostics.h"

#include "common/text_out.h"

namespace dravont {

std::string render(const Said& said, Language language, bool utf8) {
    if (!said.phrase) return said.word;
    const msg::Phrase& p = *said.phrase;
    const std::string_view text =
        language == Language::English ? p.english : (utf8 ? p.japanese.utf8 : p.japanese.cp932);
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        // "%1" to "%9"; a '%' is never a byte of a CP932 character.
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const size_t n = static_cast<size_t>(text[i + 1] - '1');
            if (n < said.args.size()) result += render(said.args[n], language, utf8);
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

void Diagnostics::line(const msg::Phrase& label, const Said& text, bool utf8) {
    err_.put("dravont: ").put(render(label, language_, utf8)).put(": ");
    err_.put(render(text, language_, utf8)).put('\n');
}

void Diagnostics::report(TextOut& out, const msg::Phrase& label, const Diagnostic& d) {
    out.sync();
    const bool utf8 = out.utf8();  // Japanese in the encoding of standard output
    // In one file with standard output, a diagnostic starts on a line of its
    // own even after a message that ends without a line end.
    if (sharesOutput_ && !out.ends_line()) err_.put('\n');
    const bool shown = sharesOutput_ && language_ == Language::Japanese && d.restatesOutput;
    if (!shown) line(label, d.problem, utf8);
    if (!d.note.empty()) line(msg::kNoteLabel, d.note, utf8);
    if (!d.remedy.empty()) line(msg::kHintLabel, d.remedy, utf8);
    err_.sync();
}

}  // namespace dravont
