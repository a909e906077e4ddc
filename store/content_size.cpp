#include "store/content_size.h"

#include "platform/gbk.h"

#include <string_view>
#include <vector>

namespace {

constexpr int single_septets = 160;
constexpr int single_units = 70;
constexpr int part_septets = 153;
constexpr int part_units = 67;

// The characters of the GSM default alphabet's extension table, which take an escape and a septet.
bool is_extension_character(char16_t c) {
    static constexpr std::u16string_view extension = u"^{}\\[~]|\u20AC\f";
    return extension.find(c) != std::u16string_view::npos;
}

// The width of every character in the unit it is counted in: septets for English (a surrogate pair is
// one unknown character, sent as one septet), UTF-16 units for Chinese (a surrogate pair is two units
// that must stay together).
std::vector<int> character_widths(const std::u16string& text, bool english) {
    std::vector<int> widths;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                    text[i + 1] <= 0xDFFF;
        if (english) {
            widths.push_back(is_extension_character(text[i]) ? 2 : 1);
        } else {
            widths.push_back(pair ? 2 : 1);
        }
        i += pair ? 1 : 0;
    }
    return widths;
}

// Parts of at most `room`, filled greedily without splitting a character.
int parts_of(const std::vector<int>& widths, int room) {
    int parts = 1;
    int used = 0;
    for (int width : widths) {
        if (used + width > room) {
            ++parts;
            used = 0;
        }
        used += width;
    }
    return parts;
}

} // namespace

ContentSize content_size(const std::string& content_gbk, bool english) {
    // Bytes that are no GBK count one character each, as the engine sends each as a '?'.
    std::u16string text = gbk_to_utf16(content_gbk).value_or(std::u16string(content_gbk.size(), u'?'));
    std::vector<int> widths = character_widths(text, english);
    ContentSize size;
    for (int width : widths) {
        size.characters += width;
    }
    int single = english ? single_septets : single_units;
    size.parts = size.characters <= single ? 1 : parts_of(widths, english ? part_septets : part_units);
    return size;
}

bool content_fits(const ContentSize& size, bool english, bool long_messages) {
    if (long_messages) {
        return size.parts <= max_parts_of_long_message;
    }
    return size.characters <= (english ? single_septets : single_units);
}

int most_content_characters(bool english, bool long_messages) {
    if (long_messages) {
        return (english ? part_septets : part_units) * max_parts_of_long_message;
    }
    return english ? single_septets : single_units;
}

bool content_has_control_bytes(std::string_view content_gbk) {
    for (std::size_t i = 0; i < content_gbk.size(); ++i) {
        auto byte = static_cast<unsigned char>(content_gbk[i]);
        bool line_break = byte == '\n' || (byte == '\r' && i + 1 < content_gbk.size() && content_gbk[i + 1] == '\n');
        if ((byte < 0x20 || byte == 0x7F) && !line_break) {
            return true;
        }
    }
    return false;
}
