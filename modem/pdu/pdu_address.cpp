#include "modem/pdu/pdu_address.h"

#include "modem/pdu/gsm_alphabet.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_septets.h"

#include <algorithm>

bool is_international(int type) {
    return (type & 0x70) == 0x10;
}

bool is_alphanumeric(int type) {
    return (type & 0x70) == 0x50;
}

PduAddress read_address(PduReader& reader) {
    PduAddress address;
    address.length_text = std::string(reader.chars(2));
    size_t length = static_cast<size_t>(PduReader(address.length_text).octet());
    address.type = reader.octet();
    address.semi_octets = std::string(reader.chars((length + 1) / 2 * 2));
    // The field is read as long as it says it is, so the fields after it stay where they are; its value
    // is kept no longer than an address can be.
    if (is_alphanumeric(address.type)) {
        int septets = static_cast<int>(std::min(length, max_address_semi_octets) * 4 / 7);
        address.value = decode_7bit(address.semi_octets, std::min(septets, max_alphanumeric_address));
    } else {
        address.value = unswap_semi_octets(address.semi_octets).substr(0, std::min(length, max_address_digits));
    }
    return address;
}

PduAddress read_service_centre(PduReader& reader) {
    PduAddress address;
    address.length_text = std::string(reader.chars(2));
    size_t octets = static_cast<size_t>(PduReader(address.length_text).octet());
    if (octets == 0) {
        return address;
    }
    address.type = reader.octet();
    address.semi_octets = std::string(reader.chars(2 * (octets - 1)));
    address.value = unswap_semi_octets(address.semi_octets);
    return address;
}

std::string address_field(std::string_view value, int type) {
    std::string field;
    std::string body;
    size_t length = 0;
    if (is_alphanumeric(type)) {
        std::string septets = gsm_septets_from_gbk(value);
        body = pack_septets(septets);
        length = (septets.size() * 7 + 3) / 4; // the semi-octets the packed text fills
    } else {
        body = swap_semi_octets(value);
        length = value.size();
    }
    append_hex_octet(field, static_cast<std::uint8_t>(length));
    append_hex_octet(field, static_cast<std::uint8_t>(type));
    return field + body;
}

std::string service_centre_field(std::string_view digits) {
    if (digits.empty()) {
        return "00";
    }
    std::string field;
    append_hex_octet(field, static_cast<std::uint8_t>(1 + (digits.size() + 1) / 2));
    append_hex_octet(field, static_cast<std::uint8_t>(address_international));
    return field + swap_semi_octets(digits);
}
