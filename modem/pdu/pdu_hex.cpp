#include "modem/pdu/pdu_hex.h"

#include <algorithm>

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

std::vector<std::uint8_t> octets_from_hex(std::string_view hex) {
    std::vector<std::uint8_t> octets;
    octets.reserve(hex.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < hex.size(); i += 2) {
        octets.push_back(static_cast<std::uint8_t>(hex_digit_value(hex[i]) << 4 | hex_digit_value(hex[i + 1])));
    }
    if (i < hex.size()) {
        octets.push_back(static_cast<std::uint8_t>(hex_digit_value(hex[i])));
    }
    return octets;
}

void append_hex_octet(std::string& out, std::uint8_t octet) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.push_back(digits[octet >> 4]);
    out.push_back(digits[octet & 0x0F]);
}

std::string hex_from_octets(const std::vector<std::uint8_t>& octets) {
    std::string out;
    out.reserve(octets.size() * 2);
    for (auto octet : octets) {
        append_hex_octet(out, octet);
    }
    return out;
}

int PduReader::octet() {
    std::string_view two = chars(2);
    int value = 0;
    for (char c : two) {
        value = value << 4 | hex_digit_value(c);
    }
    return value;
}

std::string_view PduReader::chars(size_t count) {
    size_t start = std::min(position_, hex_.size());
    std::string_view out = hex_.substr(start, count);
    complete_ = complete_ && out.size() == count;
    position_ += count;
    return out;
}

std::string_view PduReader::rest() const {
    return hex_.substr(std::min(position_, hex_.size()));
}
