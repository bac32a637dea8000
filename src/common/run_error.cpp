#include "common/run_error.h"

#include "common/messages.h"
#include "common/text_out.h"

namespace dravont {

MalformedInput::MalformedInput(std::string record, uint64_t offset, uint64_t fileSize)
    : std::runtime_error("malformed input: " + record),
      record_(std::move(record)),
      offset_(offset),
      fileSize_(fileSize) {}

std::string hex_text(uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return "0x" + text;
}

std::string malformed_input_message(const std::string& inputName, const MalformedInput& error,
                                    bool utf8) {
    TextOut text;
    text.set_utf8(utf8);
    text.put(inputName).put(msg::kMalformedInput).put('\n');
    text.put(error.record()).put(": offset 0x").hex(error.offset(), 8);
    text.put(", file size ").dec(error.fileSize()).put("\n\n");
    return text.take();
}

}  // namespace dravont
