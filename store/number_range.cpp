#include "store/number_range.h"

#include "platform/text_ops.h"

#include <limits>

namespace {

bool eleven_digits(const std::string& end) {
    if (end.size() != 11) {
        return false;
    }
    for (char c : end) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> tail_value(const std::string& end) {
    std::int64_t v = parse_decimal(end.substr(1));
    if (v < 0 || v > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

} // namespace

bool looks_like_range(const std::string& line) {
    return line.size() >= 12 && line[11] == '-';
}

std::optional<NumberRange> parse_number_range(const std::string& line) {
    std::string text = remove_byte(line, ';') + "-";
    std::string low_end, high_end;
    field_split(text, '-', 1, low_end);
    if (field_split(text, '-', 2, high_end) != 0 || !eleven_digits(low_end) || !eleven_digits(high_end) ||
        low_end[0] != high_end[0]) {
        return std::nullopt;
    }
    auto low = tail_value(low_end);
    auto high = tail_value(high_end);
    if (!low || !high || *high < *low) {
        return std::nullopt;
    }
    return NumberRange{low_end[0], *low, *high};
}
