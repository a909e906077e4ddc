#include "store/box_text.h"

std::string box_lines(const std::vector<std::string>& lines) {
    std::string box;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            box += "\r\n";
        }
        box += lines[i];
    }
    return box;
}

std::string box_text(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}
