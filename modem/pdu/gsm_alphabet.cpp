#include "modem/pdu/gsm_alphabet.h"

#include "modem/pdu/pdu_text.h"
#include "platform/gbk.h"

#include <algorithm>
#include <array>

namespace {

// The default alphabet, indexed by code. 0x1B is the escape to the extension table.
constexpr std::array<char16_t, 128> default_table = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC', // 00
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5', // 08
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8', // 10
    u'\u03A3', u'\u0398', u'\u039E', u' ',      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9', // 18
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',     // 20
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',      // 28
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',      // 30
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',      // 38
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',      // 40
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',      // 48
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',      // 50
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7', // 58
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',      // 60
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',      // 68
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',      // 70
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0', // 78
};

struct Extension {
    std::uint8_t code;
    char16_t character;
};

constexpr std::array<Extension, 10> extension_table = {{
    {0x0A, u'\f'},
    {0x14, u'^'},
    {0x28, u'{'},
    {0x29, u'}'},
    {0x2F, u'\\'},
    {0x3C, u'['},
    {0x3D, u'~'},
    {0x3E, u']'},
    {0x40, u'|'},
    {0x65, u'\u20AC'},
}};

constexpr std::uint8_t question_mark = 0x3F;

// Encoding of one ASCII character: its septet, escape_flag + its extension code, or -1.
constexpr int escape_flag = 0x100;

constexpr std::array<int, 128> make_ascii_codes() {
    std::array<int, 128> codes{};
    for (auto& code : codes) {
        code = -1;
    }
    for (int septet = 0; septet < 128; ++septet) {
        char16_t c = default_table[septet];
        if (c < 128 && septet != gsm_escape && codes[c] < 0) {
            codes[c] = septet;
        }
    }
    for (const auto& ext : extension_table) {
        if (ext.character < 128) {
            codes[ext.character] = escape_flag | ext.code;
        }
    }
    return codes;
}

constexpr std::array<int, 128> ascii_codes = make_ascii_codes();

int code_of(char16_t c) {
    if (c < 128) {
        return ascii_codes[c];
    }
    for (int septet = 0; septet < 128; ++septet) {
        if (default_table[septet] == c) {
            return septet;
        }
    }
    for (const auto& ext : extension_table) {
        if (ext.character == c) {
            return escape_flag | ext.code;
        }
    }
    return -1;
}

char16_t extension_character(std::uint8_t code) {
    for (const auto& ext : extension_table) {
        if (ext.code == code) {
            return ext.character;
        }
    }
    return default_table[code & 0x7F];
}

void append_septets(std::string& out, int code) {
    if (code < 0) {
        out.push_back(static_cast<char>(question_mark));
        return;
    }
    if (code & escape_flag) {
        out.push_back(static_cast<char>(gsm_escape));
    }
    out.push_back(static_cast<char>(code & 0x7F));
}

std::u16string septets_to_utf16(std::string_view septets) {
    std::u16string out;
    out.reserve(septets.size());
    for (size_t i = 0; i < septets.size(); ++i) {
        auto code = static_cast<std::uint8_t>(septets[i] & 0x7F);
        if (code != gsm_escape) {
            out.push_back(default_table[code]);
        } else if (i + 1 < septets.size()) {
            out.push_back(extension_character(static_cast<std::uint8_t>(septets[++i] & 0x7F)));
        } else {
            out.push_back(u' '); // a lone escape at the end: nothing left to extend
        }
    }
    return out;
}

} // namespace

std::string gsm_septets_from_gbk(std::string_view gbk_text) {
    std::string out;
    out.reserve(gbk_text.size() + 8);
    for (char16_t c : gbk_to_utf16_or_question(gbk_text)) {
        append_septets(out, code_of(c));
    }
    return out;
}

std::string gsm_septets_to_gbk(std::string_view septets) {
    std::u16string units = septets_to_utf16(septets);
    bool ascii = true;
    for (char16_t c : units) {
        ascii = ascii && c < 128;
    }
    if (ascii) {
        return std::string(units.begin(), units.end());
    }
    return utf16_to_gbk_lossy(units);
}

size_t gsm_septet_cut(std::string_view septets, size_t limit) {
    size_t kept = 0;
    while (kept < septets.size()) {
        size_t width = static_cast<std::uint8_t>(septets[kept]) == gsm_escape ? 2 : 1;
        width = std::min(width, septets.size() - kept);
        if (kept + width > limit) {
            break;
        }
        kept += width;
    }
    return kept;
}
