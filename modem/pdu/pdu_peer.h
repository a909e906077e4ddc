#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The modem's side of the codec, for a simulated modem: building the SMS-DELIVER PDUs it lists as
// received messages and the SMS-STATUS-REPORT PDUs it hands on, and reading back the SMS-SUBMIT PDUs
// the gateway hands it.

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

// The concatenation element of a user-data header: which long message a part belongs to, and where
// in it the part goes.
struct Concatenation {
    int reference = 0;
    int count = 0;            // parts in the whole message
    int sequence = 0;         // this part's place, from 1
    bool sixteen_bit = false; // a 16-bit reference (element 08), else an 8-bit one (element 00)
};

// A user-data header holding only `part`'s concatenation element, as hex without the header's own
// length octet (what DeliverMessage::header takes).
std::string concatenation_header(const Concatenation& part);

// A text (GBK) cut into the parts of a long message, each fitting one message's user data beside a
// user-data header of `header_octets` octets (its length octet included). A character is never split:
// an escape pair of the 7-bit alphabet or a UTF-16 surrogate pair stays in one part. With `parts` 0
// the text takes as many parts as it needs, each filled in turn (one part for an empty text);
// otherwise it is spread as evenly as it goes over exactly `parts` parts. Empty when that many parts
// cannot hold the text, or when it has fewer characters than parts.
std::vector<std::string> split_long_text(std::string_view text, bool seven_bit, size_t header_octets, int parts);

struct SubmittedMessage {
    std::string service_centre; // digits, empty when the PDU names none
    bool status_report = false; // TP-SRR: the sender wants to hear whether the message arrived
    std::string number;         // destination digits as written (no country code removed)
    int number_type = 0;
    int protocol = 0;
    int coding = 0;    // the data coding scheme
    int validity = -1; // a relative validity period; -1 when the PDU has none of that form
    int user_data_length = 0;
    std::string user_data; // hex, as written
    std::string text;      // GBK; after the user-data header when there is one
    int tpdu_octets = 0;   // octets after the service-centre field: what at+cmgs should announce
    // TP-UDHI was set but the header cannot be taken: it runs past the user data, one of its elements
    // runs past the header, or its concatenation element is the wrong size or names a count of 0 or a
    // sequence of 0 or beyond the count. A modem refuses such a PDU.
    bool bad_header = false;
    std::optional<Concatenation> part; // the header's concatenation element: a part of a long message
};

// Reads an SMS-SUBMIT PDU (either variant the gateway writes, or any other well-formed one).
// nullopt when it is not SMS-SUBMIT, holds a character that is not an upper-case hex digit, or ends
// before its user data does.
std::optional<SubmittedMessage> decode_submit_pdu(std::string_view pdu);

// TP-ST values of a status report.
inline constexpr int status_delivered = 0x00;                // received by the recipient
inline constexpr int status_incompatible_destination = 0x41; // permanent error: given up for good

struct StatusReport {
    std::string service_centre = "8613800000500"; // international digits; empty: no address
    int reference = 0;                            // TP-MR: the +CMGS reference of the submission
    std::string recipient;                        // as the submission named it: digits, or GBK text
    int recipient_type = 0x91;                    // its type of address, as submitted
    std::string submitted_at = "24050607010500";  // TP-SCTS: when the service centre took it
    std::string discharged_at = "24050607010500"; // TP-DT: when it was delivered or given up
    int status = status_delivered;
};

// The SMS-STATUS-REPORT PDU a modem hands on for `report`, service-centre field first (upper-case
// hex, no line end).
std::string build_status_report_pdu(const StatusReport& report);
