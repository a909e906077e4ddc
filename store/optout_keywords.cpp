#include "store/optout_keywords.h"

#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "store/settings.h"

#include <algorithm>

namespace {

constexpr char16_t full_width_blank = u'\u3000';
// U+FF01 to U+FF5E are the full-width forms of '!' to '~'.
constexpr char16_t full_width_first = u'\uFF01';
constexpr char16_t full_width_last = u'\uFF5E';
constexpr char16_t full_width_offset = full_width_first - u'!';

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == full_width_blank;
}

char16_t folded_char(char16_t c) {
    if (c >= full_width_first && c <= full_width_last) {
        c = static_cast<char16_t>(c - full_width_offset);
    }
    if (c >= u'A' && c <= u'Z') {
        c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return c;
}

std::vector<std::string_view> split_keywords(std::string_view text) {
    static const std::string wide_comma = gbk("，");
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::size_t wide = text.find(wide_comma, start);
        std::size_t end = std::min({comma, wide, text.size()});
        words.push_back(text.substr(start, end - start));
        start = end + (end == wide ? wide_comma.size() : 1);
    }
    return words;
}

} // namespace

std::u16string folded_keyword(std::string_view text_gbk) {
    std::optional<std::u16string> text = gbk_to_utf16(text_gbk);
    if (!text) {
        return {};
    }
    std::u16string folded;
    for (char16_t c : *text) {
        if (!is_blank(c)) {
            folded.push_back(folded_char(c));
        }
    }
    return folded;
}

bool OptOutKeywords::matches(std::string_view text_gbk) const {
    if (folded.empty() || text_gbk.size() > most_matched_bytes) {
        return false;
    }
    std::u16string text = folded_keyword(text_gbk);
    return !text.empty() && std::find(folded.begin(), folded.end(), text) != folded.end();
}

OptOutKeywords parse_optout_keywords(std::string_view keywords_gbk, std::string_view reply_gbk) {
    OptOutKeywords keywords;
    for (std::string_view word : split_keywords(keywords_gbk)) {
        std::u16string folded = folded_keyword(word);
        if (folded.empty()) {
            if (word.find_first_not_of(" \t") != std::string_view::npos) {
                keywords.problems.push_back(std::string(word) + ": not GBK text");
            }
            continue;
        }
        if (folded.size() > most_keyword_chars) {
            keywords.problems.push_back(std::string(word) + ": longer than 16 characters");
        } else if (keywords.folded.size() == most_optout_keywords) {
            keywords.problems.push_back(std::string(word) + ": more than 32 keywords");
        } else {
            keywords.folded.push_back(std::move(folded));
        }
    }
    std::string_view reply = reply_gbk.substr(0, reply_gbk.find_last_not_of(" \t") + 1);
    keywords.reply = std::string(reply.substr(std::min(reply.find_first_not_of(" \t"), reply.size())));
    return keywords;
}

OptOutKeywords read_optout_keywords() {
    IniSnapshot ini(settings_file);
    return parse_optout_keywords(ini.read("OPTOUT", "KEYWORDS", "", 1024),
                                 ini.read("OPTOUT", "REPLY", "", most_optout_reply_bytes));
}
