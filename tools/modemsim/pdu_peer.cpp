#include "modemsim/pdu_peer.h"

#include "engine/pdu/gsm_alphabet.h"
#include "engine/pdu/pdu_address.h"
#include "engine/pdu/pdu_codec.h"
#include "engine/pdu/pdu_hex.h"
#include "engine/pdu/pdu_layout.h"
#include "engine/pdu/pdu_septets.h"

#include <algorithm>

namespace {

constexpr size_t max_user_data_octets = 140;
constexpr size_t max_user_data_septets = 160;

int sender_type(SenderForm form) {
    switch (form) {
    case SenderForm::International:
        return address_international;
    case SenderForm::Alphanumeric:
        return address_alphanumeric;
    default:
        return address_national;
    }
}

// The header as it opens the user data: its length octet, then the header itself.
std::string header_with_length(std::string_view header) {
    if (header.empty()) {
        return {};
    }
    std::string out;
    append_hex_octet(out, static_cast<std::uint8_t>(header.size() / 2));
    return out + std::string(header);
}

std::string user_data_length_and_data(size_t udl, std::string_view data) {
    std::string out;
    append_hex_octet(out, static_cast<std::uint8_t>(udl));
    return out + std::string(data);
}

std::string seven_bit_user_data(std::string_view text, const std::string& header) {
    std::string septets = gsm_septets_from_gbk(text);
    size_t lead = header.empty() ? 0 : header_septets(header.size() / 2);
    septets.resize(gsm_septet_cut(septets, max_user_data_septets - std::min(lead, max_user_data_septets)));
    std::string data = pack_septets(septets, lead);
    data.replace(0, header.size(), header); // over the zero septets that stand in for it
    return user_data_length_and_data(lead + septets.size(), data);
}

std::string ucs2_user_data(std::string_view text, const std::string& header) {
    std::string units = encode_ucs2(text);
    size_t room = (max_user_data_octets - std::min(header.size() / 2, max_user_data_octets)) / 2 * 4;
    units.resize(ucs2_cut(units, room));
    std::string data = header + units;
    return user_data_length_and_data(data.size() / 2, data);
}

bool all_hex_digits(std::string_view pdu) {
    return std::all_of(pdu.begin(), pdu.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

size_t user_data_octets(int udl, int coding) {
    auto length = static_cast<size_t>(udl);
    return coding_of_dcs(coding) == PduCoding::SevenBit ? (length * 7 + 7) / 8 : length;
}

} // namespace

std::string build_deliver_pdu(const DeliverMessage& message) {
    std::string header = header_with_length(message.header);
    std::string pdu = service_centre_field(message.service_centre);
    append_hex_octet(pdu, static_cast<std::uint8_t>(more_messages_none | (header.empty() ? 0 : user_data_header_flag)));
    pdu += address_field(message.sender, sender_type(message.form));
    pdu += "00"; // protocol identifier: plain short message
    pdu += message.seven_bit ? "00" : "08";
    pdu += swap_semi_octets(message.time_stamp);
    pdu += message.seven_bit ? seven_bit_user_data(message.text, header) : ucs2_user_data(message.text, header);
    return pdu;
}

std::optional<SubmittedMessage> decode_submit_pdu(std::string_view pdu) {
    if (pdu.size() % 2 != 0 || !all_hex_digits(pdu)) {
        return std::nullopt;
    }
    PduReader reader(pdu);
    SubmittedMessage message;
    message.service_centre = read_service_centre(reader).value;
    size_t tpdu_start = reader.position();
    int first_octet = reader.octet();
    if ((first_octet & message_type_mask) != message_type_submit) {
        return std::nullopt;
    }
    reader.skip_octets(1); // message reference
    PduAddress destination = read_address(reader);
    message.number = destination.value;
    message.number_type = destination.type;
    message.protocol = reader.octet();
    message.coding = reader.octet();
    size_t validity = validity_octets(first_octet);
    message.validity = validity == 1 ? reader.octet() : -1;
    reader.skip_octets(validity == 1 ? 0 : validity);
    message.user_data_length = reader.octet();
    message.user_data = std::string(reader.rest());
    reader.skip_octets(user_data_octets(message.user_data_length, message.coding));
    if (!reader.complete()) {
        return std::nullopt;
    }
    message.text = user_data_text(message.user_data, message.user_data_length, coding_of_dcs(message.coding),
                                  (first_octet & user_data_header_flag) != 0);
    message.tpdu_octets = static_cast<int>((pdu.size() - tpdu_start) / 2);
    return message;
}
