#include "directory/address_book_tokens.h"

std::string customer_token(std::string_view category, std::string_view customer) {
    std::string token(category);
    token.push_back(token_separator);
    token.append(customer);
    return token;
}

namespace {

// A field is the token when it is the token, or when its last line is: recipients are stored one per
// line, so a token picked under a typed number starts a recipient of its own.
bool field_is_token(std::string_view field, std::string_view token) {
    std::size_t line_end = field.find_last_of("\r\n");
    return field == token || (line_end != std::string_view::npos && field.substr(line_end + 1) == token);
}

} // namespace

bool token_in_recipients(std::string_view recipients, std::string_view token) {
    std::size_t start = 0;
    // Only fields closed by a ';' count: a token whose ';' was deleted is no longer one.
    for (std::size_t end = recipients.find(';'); end != std::string_view::npos; end = recipients.find(';', start)) {
        if (field_is_token(recipients.substr(start, end - start), token)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::optional<std::string> pick_customer(std::string_view recipients, std::string_view token) {
    if (recipients.size() > pick_limit_bytes || token_in_recipients(recipients, token)) {
        return std::nullopt;
    }
    std::string out(recipients);
    out.append(token);
    out.push_back(';');
    return out;
}
