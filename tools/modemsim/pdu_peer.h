#pragma once

#include <optional>
#include <string>
#include <string_view>

// The modem's side of the codec, for a simulated modem: building the SMS-DELIVER PDUs it lists as
// received messages, and reading back the SMS-SUBMIT PDUs the gateway hands it.

enum class SenderForm { National, International, Alphanumeric };

struct DeliverMessage {
    std::string sender; // digits (international: with the country code, no '+'),
                        // or GBK text for an alphanumeric sender
    SenderForm form = SenderForm::National;
    bool seven_bit = true;                        // else UCS-2
    std::string text;                             // GBK; cut to what one message holds
    std::string service_centre = "8613800000500"; // international digits; empty: no address
    std::string time_stamp = "24050607010500";    // YYMMDDhhmmsszz, as the network sends it
    std::string header;                           // user-data header as hex, without its length octet
};

// The PDU line a modem lists for `message` (upper-case hex, no line end).
std::string build_deliver_pdu(const DeliverMessage& message);

struct SubmittedMessage {
    std::string service_centre; // digits, empty when the PDU names none
    std::string number;         // destination digits as written (no country code removed)
    int number_type = 0;
    int protocol = 0;
    int coding = 0;    // the data coding scheme
    int validity = -1; // a relative validity period; -1 when the PDU has none of that form
    int user_data_length = 0;
    std::string user_data; // hex, as written
    std::string text;      // GBK
    int tpdu_octets = 0;   // octets after the service-centre field: what at+cmgs should announce
};

// Reads an SMS-SUBMIT PDU (either variant the gateway writes, or any other well-formed one).
// nullopt when it is not SMS-SUBMIT, holds a character that is not an upper-case hex digit, or ends
// before its user data does.
std::optional<SubmittedMessage> decode_submit_pdu(std::string_view pdu);
