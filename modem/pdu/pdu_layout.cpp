#include "modem/pdu/pdu_layout.h"

#include "modem/pdu/pdu_hex.h"

namespace {

constexpr int validity_format_mask = 0x18;
constexpr int validity_relative = 0x10;

bool is_high_surrogate(std::string_view unit_hex) {
    int value = 0;
    for (char c : unit_hex) {
        value = value << 4 | hex_digit_value(c);
    }
    return value >= 0xD800 && value <= 0xDBFF;
}

} // namespace

std::size_t validity_octets(int first_octet) {
    int format = first_octet & validity_format_mask;
    return format == 0 ? 0 : format == validity_relative ? 1 : 7;
}

std::size_t ucs2_cut(std::string_view hex, std::size_t limit) {
    if (hex.size() <= limit) {
        return hex.size();
    }
    std::size_t keep = limit / 4 * 4;
    if (keep >= 4 && is_high_surrogate(hex.substr(keep - 4, 4))) {
        keep -= 4;
    }
    return keep;
}
