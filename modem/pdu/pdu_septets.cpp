#include "modem/pdu/pdu_septets.h"

#include "modem/pdu/pdu_hex.h"

std::string pack_septets(std::string_view septets, size_t lead_septets) {
    std::string hex;
    hex.reserve((septets.size() + lead_septets) * 7 / 4 + 2);
    unsigned bits = 0;
    unsigned held = 0;
    auto put = [&](unsigned septet) {
        bits |= (septet & 0x7F) << held;
        held += 7;
        while (held >= 8) {
            append_hex_octet(hex, static_cast<std::uint8_t>(bits & 0xFF));
            bits >>= 8;
            held -= 8;
        }
    };
    for (size_t i = 0; i < lead_septets; ++i) {
        put(0);
    }
    for (char septet : septets) {
        put(static_cast<std::uint8_t>(septet));
    }
    if (held > 0) {
        append_hex_octet(hex, static_cast<std::uint8_t>(bits & 0xFF));
    }
    return hex;
}

std::string unpack_septets(const std::vector<std::uint8_t>& octets, size_t count) {
    auto octet_at = [&](size_t i) -> unsigned { return i < octets.size() ? octets[i] : 0; };
    std::string septets(count, '\0');
    for (size_t k = 0; k < count; ++k) {
        size_t bit = 7 * k;
        size_t i = bit / 8;
        unsigned shift = bit % 8;
        unsigned pair = octet_at(i) | octet_at(i + 1) << 8;
        septets[k] = static_cast<char>((pair >> shift) & 0x7F);
    }
    return septets;
}

size_t header_septets(size_t header_octets) {
    return (header_octets * 8 + 6) / 7;
}
