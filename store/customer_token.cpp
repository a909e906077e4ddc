#include "store/customer_token.h"

#include "platform/text_ops.h"

std::optional<CustomerToken> split_customer_token(std::string_view line) {
    std::string_view name_part = line.substr(0, line.find(';'));
    std::size_t mark = name_part.find('\x02');
    if (mark == std::string_view::npos) {
        return std::nullopt;
    }
    return CustomerToken{std::string(name_part.substr(0, mark)), cut_at_line_end(name_part.substr(mark + 1))};
}

bool safe_token_name(std::string_view name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

bool safe_customer_token(const CustomerToken& token) {
    return safe_token_name(token.category) && safe_token_name(token.customer);
}
