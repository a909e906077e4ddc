#include "store/recipients.h"

#include "platform/data_file.h"
#include "platform/ini_file.h"
#include "store/customer_files.h"
#include "store/customer_token.h"
#include "store/number_range.h"
#include "store/phone_number.h"
#include "store/recipient_walk.h"
#include "store/record_files.h"

#include <optional>
#include <unistd.h>

namespace {

bool all_digits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// The category index, read once per check and only when a token asks for it.
class CategoryIndex {
public:
    // Whether the index lists the category and its file is one the engine will read: a regular file
    // inside the working directory (no FIFO, device or symlink leading out).
    bool usable(const std::string& category) {
        if (!snapshot_) {
            snapshot_.emplace(category_index_file);
        }
        if (!snapshot_->value(customer_section, category)) {
            return false;
        }
        int fd = open_data_file(category_file_path(category));
        if (fd < 0) {
            return false;
        }
        ::close(fd);
        return true;
    }

private:
    std::optional<IniSnapshot> snapshot_;
};

// A line no writer may queue: a customer token that could name a file outside the address book or a
// category the index does not list, or a line written as a range that is no exact range.
bool is_refused_line(const std::string& line, CategoryIndex& index) {
    if (std::optional<CustomerToken> token = split_customer_token(line)) {
        return !safe_customer_token(*token) || !index.usable(token->category);
    }
    return looks_like_range(line) && !parse_number_range(line);
}

bool is_sendable_line(const std::string& line, CategoryIndex& index) {
    if (is_refused_line(line, index)) {
        return false;
    }
    if (line.find('\x02') != std::string::npos || looks_like_range(line)) {
        return true; // the category file gives the number; the engine expands the range
    }
    // The engine sends to the text before a ';' (a ';' left before a line break); anything after
    // that ';' would be dropped, so it is no recipient either.
    size_t semicolon = line.find(';');
    if (semicolon != std::string::npos && semicolon + 1 != line.size()) {
        return false;
    }
    return is_phone_number(std::string_view(line).substr(0, semicolon));
}

// The box's lines as the operator typed them (cut at their line end) beside the engine's prepared form.
template <typename Visit> void for_each_line(const std::string& box_text, Visit visit) {
    std::string stored = recipients_for_file(box_text);
    for (std::string_view line : recipient_file_lines(stored)) {
        std::string prepared = prepared_recipient_line(line);
        if (!prepared.empty()) {
            visit(line, prepared);
        }
    }
}

} // namespace

bool is_phone_number(std::string_view text) {
    return is_national_number(text) || is_international_number(text);
}

bool is_reply_address(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= 20 && all_digits(text);
}

std::vector<std::string> box_recipient_lines(const std::string& box_text) {
    std::vector<std::string> out;
    for_each_line(box_text, [&](std::string_view, std::string& prepared) { out.push_back(std::move(prepared)); });
    return out;
}

std::vector<std::string> unsendable_recipients(const std::string& box_text) {
    std::vector<std::string> out;
    CategoryIndex index;
    for_each_line(box_text, [&](std::string_view line, const std::string& prepared) {
        if (!is_sendable_line(prepared, index)) {
            out.emplace_back(line);
        }
    });
    return out;
}

std::vector<std::string> refused_recipients(const std::string& box_text) {
    std::vector<std::string> out;
    CategoryIndex index;
    for_each_line(box_text, [&](std::string_view line, const std::string& prepared) {
        if (is_refused_line(prepared, index)) {
            out.emplace_back(line);
        }
    });
    return out;
}

std::uint64_t recipient_count(const std::string& box_text) {
    std::uint64_t count = 0;
    for_each_line(box_text, [&](std::string_view, const std::string& prepared) {
        std::optional<NumberRange> range = looks_like_range(prepared) ? parse_number_range(prepared) : std::nullopt;
        count += range ? range->size() : 1;
    });
    return count;
}
