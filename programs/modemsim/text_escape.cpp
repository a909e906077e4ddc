#include "modemsim/text_escape.h"

#include <cstdio>

namespace {

void append_escaped(std::string& out, char c, bool escape_space) {
    switch (c) {
    case '\\':
        out += "\\\\";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\t':
        out += "\\t";
        return;
    case ' ':
        out += escape_space ? "\\s" : " ";
        return;
    default:
        break;
    }
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += hex;
        return;
    }
    out += c;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The escape that starts at `line[i]` (the character after the backslash); `i` ends on its last
// character.
char unescape_at(std::string_view line, size_t& i) {
    switch (line[i]) {
    case 's':
        return ' ';
    case 'r':
        return '\r';
    case 'n':
        return '\n';
    case 't':
        return '\t';
    case 'x':
        if (i + 2 < line.size() && hex_value(line[i + 1]) >= 0 && hex_value(line[i + 2]) >= 0) {
            i += 2;
            return static_cast<char>(hex_value(line[i - 1]) * 16 + hex_value(line[i]));
        }
        return 'x';
    default:
        return line[i];
    }
}

} // namespace

std::string escape_line_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        append_escaped(out, c, false);
    }
    return out;
}

std::string join_control_words(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty()) {
            line += ' ';
        }
        // An empty word still has to take its place in the line.
        if (word.empty()) {
            line += "\\x00";
            continue;
        }
        for (char c : word) {
            append_escaped(line, c, true);
        }
    }
    return line;
}

std::vector<std::string> split_control_words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\r' || c == '\n') {
            if (in_word) {
                words.push_back(word);
                word.clear();
                in_word = false;
            }
            continue;
        }
        in_word = true;
        if (c == '\\' && i + 1 < line.size()) {
            ++i;
            char plain = unescape_at(line, i);
            if (plain != '\0') {
                word += plain;
            }
            continue;
        }
        word += c;
    }
    if (in_word) {
        words.push_back(word);
    }
    return words;
}
