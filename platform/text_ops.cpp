#include "platform/text_ops.h"

#include <limits>

int field_split(std::string_view text, char sep, int k, std::string& out) {
    if (k <= 0) {
        out.assign(text);
        return -1;
    }
    size_t start = 0;
    for (int i = 1; i < k; ++i) {
        size_t pos = text.find(sep, start);
        if (pos == std::string_view::npos) {
            out.assign(text);
            return -1;
        }
        start = pos + 1;
    }
    size_t end = text.find(sep, start);
    if (end == std::string_view::npos) {
        out.assign(text);
        return -1;
    }
    out.assign(text.substr(start, end - start));
    return 0;
}

std::string remove_byte(std::string_view text, char byte) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != byte) {
            out.push_back(c);
        }
    }
    return out;
}

std::string cut_at_line_end(std::string_view text) {
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

std::int64_t parse_decimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        value = value > (max - digit) / 10 ? max : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::vector<std::string_view> split_at_line_feeds(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}
