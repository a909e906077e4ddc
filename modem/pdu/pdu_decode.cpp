#include "modem/pdu/gsm_alphabet.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_septets.h"
#include "platform/gbk.h"

#include <algorithm>

namespace {

// How much of a hex text the decoders look at; a received line never holds more than 140 octets of
// user data, so these bounds only stop runaway input.
constexpr size_t max_7bit_hex = 1000;
constexpr size_t max_ucs2_hex = 2000;
constexpr size_t max_ucs2_units = 300;

std::string septets_of(std::string_view hex, int septets) {
    auto octets = octets_from_hex(hex.substr(0, max_7bit_hex));
    size_t held = octets.size() * 8 / 7;
    return unpack_septets(octets, std::min(held, static_cast<size_t>(std::max(septets, 0))));
}

std::u16string ucs2_units(std::string_view hex) {
    hex = hex.substr(0, max_ucs2_hex);
    std::u16string units;
    for (size_t i = 0; i < hex.size() && units.size() < max_ucs2_units; i += 4) {
        unsigned unit = 0;
        for (char c : hex.substr(i, 4)) {
            unit = unit << 4 | static_cast<unsigned>(hex_digit_value(c));
        }
        if (unit == 0) {
            break;
        }
        units.push_back(static_cast<char16_t>(unit));
    }
    return units;
}

std::string eight_bit_text(std::string_view hex) {
    std::string text;
    for (auto octet : octets_from_hex(hex)) {
        if (octet == 0) {
            break;
        }
        text.push_back(static_cast<char>(octet));
    }
    return text;
}

int header_octets(std::string_view user_data_hex) {
    PduReader reader(user_data_hex);
    return reader.octet() + 1;
}

std::string seven_bit_text(std::string_view user_data_hex, int udl, bool has_header) {
    std::string septets = septets_of(user_data_hex, udl);
    if (has_header) {
        septets.erase(0, header_septets(static_cast<size_t>(header_octets(user_data_hex))));
    }
    return gsm_septets_to_gbk(septets);
}

} // namespace

std::string decode_7bit(std::string_view hex, int septets) {
    return gsm_septets_to_gbk(septets_of(hex, septets));
}

std::string decode_ucs2(std::string_view hex) {
    std::u16string units = ucs2_units(hex);
    if (std::all_of(units.begin(), units.end(), [](char16_t c) { return c < 0x80; })) {
        return std::string(units.begin(), units.end());
    }
    return utf16_to_gbk_lossy(units);
}

PduCoding coding_of_dcs(int dcs) {
    switch ((dcs >> 4) & 0x0F) {
    case 0x0:
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x4:
    case 0x5:
    case 0x6:
    case 0x7: {
        // General data coding, possibly marked for automatic deletion. Compressed text cannot be
        // read here; it is shown as the bytes it is.
        if (dcs & 0x20) {
            return PduCoding::EightBit;
        }
        int alphabet = (dcs >> 2) & 0x03;
        return alphabet == 1 ? PduCoding::EightBit : alphabet == 2 ? PduCoding::Ucs2 : PduCoding::SevenBit;
    }
    case 0xE: // message waiting indication, UCS-2 text
        return PduCoding::Ucs2;
    case 0xF: // data coding and message class
        return (dcs & 0x04) ? PduCoding::EightBit : PduCoding::SevenBit;
    default: // message waiting groups with default-alphabet text, and the reserved groups
        return PduCoding::SevenBit;
    }
}

std::string user_data_text(std::string_view user_data_hex, int udl, PduCoding coding, bool has_header) {
    if (coding == PduCoding::SevenBit) {
        return seven_bit_text(user_data_hex, udl, has_header);
    }
    size_t octets = static_cast<size_t>(std::max(udl, 0));
    size_t skip = has_header ? static_cast<size_t>(header_octets(user_data_hex)) : 0;
    skip = std::min(skip, octets);
    std::string_view body = user_data_hex.substr(std::min(2 * skip, user_data_hex.size()), 2 * (octets - skip));
    if (coding == PduCoding::Ucs2) {
        return decode_ucs2(body.substr(0, body.size() / 4 * 4));
    }
    return eight_bit_text(body);
}
