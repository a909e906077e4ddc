#include "modem/pdu/pdu_peer.h"

#include "modem/pdu/gsm_alphabet.h"
#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"
#include "modem/pdu/pdu_septets.h"

#include <algorithm>

namespace {

constexpr size_t max_user_data_septets = 160;
constexpr int status_report_request_flag = 0x20;         // TP-SRR in an SMS-SUBMIT
constexpr std::uint8_t status_report_first_octet = 0x06; // message type 10, no more messages, TP-SRQ 0

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

// Steps through the elements of the user-data header at the start of `user_data`, keeping the
// concatenation element and passing over the others. False when the header is damaged. A repeated
// concatenation element counts as its last occurrence, as receivers are told to take it.
bool read_user_data_header(std::string_view user_data, int udl, int coding, std::optional<Concatenation>& part) {
    std::vector<std::uint8_t> octets = octets_from_hex(user_data);
    if (octets.empty() || udl <= 0) {
        return false;
    }
    size_t header_octets = size_t{octets[0]} + 1;
    // A 7-bit header takes whole septets: its fill bits count toward the user-data length too.
    size_t header_length = coding_of_dcs(coding) == PduCoding::SevenBit ? header_septets(header_octets) : header_octets;
    if (header_length > static_cast<size_t>(udl) || header_octets > octets.size()) {
        return false;
    }
    for (size_t at = 1; at < header_octets;) {
        if (at + 2 > header_octets || at + 2 + octets[at + 1] > header_octets) {
            return false;
        }
        int element = octets[at];
        size_t length = octets[at + 1];
        const std::uint8_t* data = &octets[at + 2];
        if (element == 0x00 || element == 0x08) {
            size_t reference_octets = element == 0x00 ? 1 : 2;
            if (length != reference_octets + 2) {
                return false;
            }
            Concatenation found;
            found.sixteen_bit = element == 0x08;
            found.reference = reference_octets == 1 ? data[0] : data[0] << 8 | data[1];
            found.count = data[reference_octets];
            found.sequence = data[reference_octets + 1];
            if (found.count == 0 || found.sequence == 0 || found.sequence > found.count) {
                return false;
            }
            part = found;
        }
        at += 2 + length;
    }
    return true;
}

// The characters of a GBK text (one or two bytes each) and the room each takes in user data: septets
// (two for an escape pair) or UTF-16 units (two for a surrogate pair).
struct Character {
    std::string_view bytes;
    size_t width = 1;
};

std::vector<Character> characters_of(std::string_view text, bool seven_bit) {
    std::vector<Character> characters;
    for (size_t at = 0; at < text.size();) {
        auto lead = static_cast<unsigned char>(text[at]);
        size_t size = lead >= 0x81 && lead <= 0xFE && at + 1 < text.size() ? 2 : 1;
        Character character{text.substr(at, size)};
        character.width =
            seven_bit ? gsm_septets_from_gbk(character.bytes).size() : encode_ucs2(character.bytes).size() / 4;
        characters.push_back(character);
        at += size;
    }
    return characters;
}

// Part boundaries (character indices where each part starts) when every part is filled up to `cap`.
std::vector<size_t> fill_parts(const std::vector<Character>& characters, size_t cap) {
    std::vector<size_t> starts = {0};
    size_t used = 0;
    for (size_t i = 0; i < characters.size(); ++i) {
        if (used + characters[i].width > cap && i > starts.back()) {
            starts.push_back(i);
            used = 0;
        }
        used += characters[i].width;
    }
    return starts;
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
    message.status_report = (first_octet & status_report_request_flag) != 0;
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
    bool has_header = (first_octet & user_data_header_flag) != 0;
    message.bad_header =
        has_header && !read_user_data_header(message.user_data, message.user_data_length, message.coding, message.part);
    message.text =
        user_data_text(message.user_data, message.user_data_length, coding_of_dcs(message.coding), has_header);
    message.tpdu_octets = static_cast<int>((pdu.size() - tpdu_start) / 2);
    return message;
}

std::string concatenation_header(const Concatenation& part) {
    std::string header;
    append_hex_octet(header, part.sixteen_bit ? 0x08 : 0x00);
    append_hex_octet(header, part.sixteen_bit ? 4 : 3);
    if (part.sixteen_bit) {
        append_hex_octet(header, static_cast<std::uint8_t>(part.reference >> 8));
    }
    append_hex_octet(header, static_cast<std::uint8_t>(part.reference));
    append_hex_octet(header, static_cast<std::uint8_t>(part.count));
    append_hex_octet(header, static_cast<std::uint8_t>(part.sequence));
    return header;
}

std::vector<std::string> split_long_text(std::string_view text, bool seven_bit, size_t header_octets, int parts) {
    std::vector<Character> characters = characters_of(text, seven_bit);
    size_t room = seven_bit ? max_user_data_septets - std::min(header_septets(header_octets), max_user_data_septets)
                            : (max_user_data_octets - std::min(header_octets, max_user_data_octets)) / 2;
    size_t total = 0;
    size_t widest = 1;
    for (const Character& character : characters) {
        total += character.width;
        widest = std::max(widest, character.width);
    }
    std::vector<size_t> starts = fill_parts(characters, room);
    if (parts > 0) {
        auto wanted = static_cast<size_t>(parts);
        if (characters.size() < wanted || starts.size() > wanted || widest > room) {
            return {};
        }
        // The smallest fill that still needs no more parts than wanted spreads the text evenly; where
        // that leaves fewer parts, the longest ones are halved until there are enough.
        for (size_t cap = std::max(widest, (total + wanted - 1) / wanted); cap <= room; ++cap) {
            starts = fill_parts(characters, cap);
            if (starts.size() <= wanted) {
                break;
            }
        }
        while (starts.size() < wanted) {
            size_t longest = 0;
            size_t longest_size = 0;
            for (size_t i = 0; i < starts.size(); ++i) {
                size_t end = i + 1 < starts.size() ? starts[i + 1] : characters.size();
                if (end - starts[i] > longest_size) {
                    longest = i;
                    longest_size = end - starts[i];
                }
            }
            starts.insert(starts.begin() + static_cast<std::ptrdiff_t>(longest) + 1,
                          starts[longest] + longest_size / 2);
        }
    }
    std::vector<std::string> pieces;
    for (size_t i = 0; i < starts.size(); ++i) {
        size_t end = i + 1 < starts.size() ? starts[i + 1] : characters.size();
        std::string piece;
        for (size_t c = starts[i]; c < end; ++c) {
            piece += characters[c].bytes;
        }
        pieces.push_back(piece);
    }
    return pieces;
}

std::string build_status_report_pdu(const StatusReport& report) {
    std::string pdu = service_centre_field(report.service_centre);
    // SMS-STATUS-REPORT, nothing more waiting, a report on a submission (not on a command).
    append_hex_octet(pdu, status_report_first_octet);
    append_hex_octet(pdu, static_cast<std::uint8_t>(report.reference));
    pdu += address_field(report.recipient, report.recipient_type);
    pdu += swap_semi_octets(report.submitted_at);
    pdu += swap_semi_octets(report.discharged_at);
    append_hex_octet(pdu, static_cast<std::uint8_t>(report.status));
    return pdu;
}
