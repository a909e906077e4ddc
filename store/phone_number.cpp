#include "store/phone_number.h"

#include "store/settings.h"

#include <algorithm>

namespace {

bool digits_between(std::string_view text, std::size_t least, std::size_t most) {
    return text.size() >= least && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void add_spelling(std::vector<std::string>& spellings, std::string spelling) {
    if (std::find(spellings.begin(), spellings.end(), spelling) == spellings.end()) {
        spellings.push_back(std::move(spelling));
    }
}

} // namespace

bool is_national_number(std::string_view text) {
    return digits_between(text, 1, max_national_digits);
}

bool is_international_number(std::string_view text) {
    return !text.empty() && text.front() == '+' && digits_between(text.substr(1), 1, max_international_digits);
}

bool is_country_code(std::string_view text) {
    return digits_between(text, 1, 3);
}

std::string home_country() {
    std::string value = read_setting(settings::country);
    std::string_view code(value);
    code.remove_prefix(std::min(code.find_first_not_of(" \t"), code.size()));
    code = code.substr(0, code.find_last_not_of(" \t") + 1);
    if (!code.empty() && code.front() == '+') {
        code.remove_prefix(1);
    }
    return is_country_code(code) ? std::string(code) : std::string(default_country);
}

std::optional<std::string> canonical_number(std::string_view number, std::string_view country) {
    if (is_international_number(number)) {
        return std::string(number);
    }
    if (is_national_number(number) && is_country_code(country)) {
        return "+" + std::string(country) + std::string(number);
    }
    if (digits_between(number, max_national_digits + 1, max_international_digits)) {
        return "+" + std::string(number);
    }
    return std::nullopt;
}

bool same_number(std::string_view a, std::string_view b, std::string_view country) {
    std::optional<std::string> first = canonical_number(a, country);
    return first && first == canonical_number(b, country);
}

std::string stored_number(const std::string& canonical, std::string_view country) {
    std::string prefix = "+" + std::string(country);
    if (canonical.size() > prefix.size() && canonical.starts_with(prefix)) {
        return canonical.substr(prefix.size());
    }
    return canonical;
}

std::vector<std::string> number_spellings(std::string_view number, std::string_view country) {
    std::vector<std::string> spellings{std::string(number)};
    std::optional<std::string> canonical = canonical_number(number, country);
    if (!canonical) {
        return spellings;
    }
    std::string national = stored_number(*canonical, country);
    if (national != *canonical) {
        add_spelling(spellings, national);
    }
    add_spelling(spellings, canonical->substr(1));
    add_spelling(spellings, *canonical);
    return spellings;
}
