#include "store/recipients.h"

#include "store/enqueue.h"

namespace {

bool all_digits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::string_view cut_at_line_end(std::string_view line) {
    return line.substr(0, line.find_first_of("\r\n"));
}

std::string without_blanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            out.push_back(c);
        }
    }
    return out;
}

// The lines of the stored recipient file, split at every line feed as the engine splits them.
std::vector<std::string_view> file_lines(std::string_view stored) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        size_t end = stored.find('\n', start);
        lines.push_back(cut_at_line_end(stored.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos) {
            return lines;
        }
        start = end + 1;
    }
}

bool is_sendable_line(const std::string& line) {
    if (line.find('\x02') != std::string::npos) {
        return true; // a customer token: the category file gives the number
    }
    if (line.size() >= 12 && line[11] == '-') {
        return true; // a number range, expanded by the engine
    }
    // The engine sends to the text before a ';' (a ';' left before a line break); anything after
    // that ';' would be dropped, so it is no recipient either.
    size_t semicolon = line.find(';');
    if (semicolon != std::string::npos && semicolon + 1 != line.size()) {
        return false;
    }
    return is_phone_number(std::string_view(line).substr(0, semicolon));
}

} // namespace

bool is_phone_number(std::string_view text) {
    return !text.empty() && text.size() <= 12 && all_digits(text);
}

bool is_reply_address(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= 20 && all_digits(text);
}

std::vector<std::string> box_recipient_lines(const std::string& box_text) {
    std::vector<std::string> out;
    std::string stored = recipients_for_file(box_text);
    for (std::string_view line : file_lines(stored)) {
        std::string prepared = without_blanks(line);
        if (!prepared.empty()) {
            out.push_back(std::move(prepared));
        }
    }
    return out;
}

std::vector<std::string> unsendable_recipients(const std::string& box_text) {
    std::vector<std::string> out;
    std::string stored = recipients_for_file(box_text);
    for (std::string_view line : file_lines(stored)) {
        std::string prepared = without_blanks(line);
        if (!prepared.empty() && !is_sendable_line(prepared)) {
            out.emplace_back(line);
        }
    }
    return out;
}
