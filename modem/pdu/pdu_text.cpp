#include "modem/pdu/pdu_text.h"

#include "platform/gbk.h"

namespace {

bool is_ascii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Length of the GBK character at the start of `text`: two bytes for a lead byte with a trail byte
// after it, else one (which the converter then judges on its own).
size_t gbk_char_length(std::string_view text) {
    auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x81 || lead == 0xFF || text.size() < 2) {
        return 1;
    }
    auto trail = static_cast<unsigned char>(text[1]);
    return (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) ? 2 : 1;
}

} // namespace

std::u16string gbk_to_utf16_or_question(std::string_view gbk_text) {
    if (is_ascii(gbk_text)) {
        return std::u16string(gbk_text.begin(), gbk_text.end());
    }
    if (auto whole = gbk_to_utf16(gbk_text)) {
        return *whole;
    }
    // Slow path, only for text that is not valid GBK: convert character by character.
    std::u16string out;
    while (!gbk_text.empty()) {
        size_t length = gbk_char_length(gbk_text);
        auto one = gbk_to_utf16(gbk_text.substr(0, length));
        out += one ? *one : u"?";
        gbk_text.remove_prefix(length);
    }
    return out;
}
