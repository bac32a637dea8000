#include "driver/diagnoses.h"

#include <cerrno>
#include <cstring>
#include <tuple>

#include "common/messages.h"
#include "common/run_error.h"
#include "coff/input_image.h"
#include "common/run_state.h"
#include "elf/elf_file.h"

namespace dravont {

namespace {

std::string hex4(uint16_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = digits[value & 0xF];
    return text;
}

// The file kinds a wrong input most often is, by its first two bytes.
const char* coff_magic_name(uint16_t magic) {
    switch (magic) {
    case 0x8300: return "H8/300 COFF";
    case 0x8301: return "H8/300H COFF";
    case 0x8302: return "H8S COFF";
    case 0x8303: return "H8/300H normal mode COFF";
    case 0x8304: return "H8S normal mode COFF";
    case 0x0500: return "SH COFF, big-endian";
    case 0x0550: return "SH COFF, little-endian";
    case 0x4D5A: return "a DOS or Windows executable (MZ)";
    case 0x213C: return "an archive of objects (!<arch>)";
    default: return nullptr;
    }
}

}  // namespace

Said coff_magic_note(uint16_t magic) {
    const char* name = coff_magic_name(magic);
    if (name) return Said(msg::kNoteCoffMagic, {hex4(magic), name});
    // Intel HEX and S-record files are text that begins with ':' or 'S0'.
    if ((magic >> 8) == ':') return Said(msg::kNoteCoffMagic, {hex4(magic), "an Intel HEX file (text)"});
    if (magic == 0x5330) return Said(msg::kNoteCoffMagic, {hex4(magic), "a Motorola S-record file (text)"});
    return Said(msg::kNoteCoffMagic, {hex4(magic), Said(msg::kCoffMagicUnknown)});
}

Diagnostic open_failure(const std::string& inputName, int error) {
    if (error < 0) {  // no regular file: a FIFO, a device, a socket
        return {Said(msg::kSaidCannotOpen, {inputName, open_failure_reason(error)}), {},
                Said("name the executable file itself; a FIFO, a device or a socket is never read")};
    }
    const msg::Phrase& fix = error == ENOENT   ? msg::kFixNoSuchFile
                             : error == EISDIR ? msg::kFixIsDirectory
                             : error == EACCES ? msg::kFixNoAccess
                                               : msg::kFixCannotOpen;
    const std::string reason = error != 0 ? std::strerror(error) : "";
    return {Said(msg::kSaidCannotOpen, {inputName, reason}), {}, Said(fix)};
}

Diagnostic malformed_input(const RunState& state, const MalformedInput& error) {
    if (state.image.changed()) {
        return {Said(msg::kSaidChanged, {state.inputName}), {}, Said(msg::kFixChanged), false};
    }
    Diagnostic d{Said(msg::kSaidMalformed, {state.inputName, error.record(), hex_text(error.offset()),
                                            std::to_string(error.fileSize())}),
                 {}, Said(msg::kFixMalformed), true};
    // A file that is no COFF at all reaches the COFF reader too: say what
    // its first bytes are.
    if (!is_elf_image(state.image) && state.image.size() >= 2) {
        d.note = coff_magic_note(static_cast<uint16_t>(state.image.data()[0] << 8 | state.image.data()[1]));
    }
    return d;
}

Diagnostic failure_from_message(const RunState& state, const std::string& message) {
    const bool utf8 = state.out.utf8();
    for (const auto& [stdoutText, said, fix] :
         {std::tuple{&msg::kCannotCreate, &msg::kSaidCannotCreate, &msg::kFixCannotCreate},
          std::tuple{&msg::kCannotWrite, &msg::kSaidCannotWrite, &msg::kFixCannotWrite}}) {
        // "NAME<message>[ (reason)]\n\n"
        const std::string text = utf8 ? stdoutText->utf8 : stdoutText->cp932;
        const size_t at = message.find(text);
        if (at == std::string::npos) continue;
        std::string reason = message.substr(at + text.size());
        while (!reason.empty() && reason.back() == '\n') reason.pop_back();
        return {Said(*said, {message.substr(0, at), reason}), {}, Said(*fix), true};
    }
    return {Said(msg::kSaidFailed), {}, {}, true};
}

}  // namespace dravont
