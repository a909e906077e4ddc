#pragma once

#include "platform/trace.h"

#include <optional>
#include <string>
#include <string_view>

// Conversion between the gateway's GBK text and the hexadecimal PDU text the modem takes and gives in
// PDU mode: SMS-SUBMIT for sending, SMS-DELIVER for receiving, with the GSM 7-bit default alphabet
// for English and UCS-2 for Chinese.

// --- Content encoders -------------------------------------------------------------------------------

struct Encoded7bit {
    std::string hex;
    int septets = 0; // the user-data length: escape pairs count two
};

// English content (the text after its kind byte), packed in the 7-bit default alphabet.
Encoded7bit encode_7bit(std::string_view gbk_text);

// Chinese content, four upper-case hex digits per UTF-16 unit.
std::string encode_ucs2(std::string_view gbk_text);

// What one message's user data holds: 140 octets (160 septets of the 7-bit alphabet).
inline constexpr size_t max_user_data_octets = 140;

struct UserData {
    std::string hex;
    int septets = 0; // for 7-bit data: the septets `hex` holds; 0 for UCS-2
};

// Encoded content cut to what one message holds, 140 octets: 7-bit data keeps at most 160 septets and
// UCS-2 data 70 units, but never half an escape pair or half a surrogate pair. `septets` is the count
// `hex` holds for 7-bit data and is ignored for UCS-2.
UserData cut_user_data(std::string_view hex, bool seven_bit, int septets);

// --- Addresses ------------------------------------------------------------------------------------------

// 13900000001 -> 3109000000F1: an odd-length text gets an 'F', then the characters of each pair swap.
std::string swap_semi_octets(std::string_view digits);

// The pairs swapped back and a final 'F' removed.
std::string unswap_semi_octets(std::string_view semi_octets);

// --- Submit PDU -----------------------------------------------------------------------------------------

// Standard: no service-centre address (the modem's own is used), destination +86 (the country of
// SubmitOptions) and the number.
// Siemens: the service centre from SMSCODE and the destination as it stands (type 81).
// In both an international number ("+" and its digits) is sent as it stands, type 91, no 86 put before it.
enum class PduVariant { Standard, Siemens };

struct SubmitPdu {
    std::string pdu;        // without the closing Ctrl-Z
    int command_length = 0; // the length for at+cmgs
};

// `user_data` is the hex user data as sent (with the "0001" prefix when that option is on). For 7-bit
// data `septets` is the user-data length it holds; for UCS-2 the length is counted from the hex.
// `smscode` is the service-centre setting as read; the Siemens variant uses its last 11 characters.
// `flash` sends 7-bit data as a class 0 message, which the phone shows at once (coding scheme 10).
SubmitPdu build_submit_pdu(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                           std::string_view smscode, PduVariant variant, bool flash = false);

// What else an SMS-SUBMIT may carry: `has_header` says the user data starts with a user-data header
// (a part of a long message); `status_report` asks the network for a report on delivery;
// `service_centre` (international digits, without '+') puts that centre into a Standard PDU instead of
// leaving the SIM's own to the modem. `country` is the code a Standard PDU puts before a national number.
struct SubmitOptions {
    bool flash = false;
    bool has_header = false;
    bool status_report = false;
    std::string service_centre{};
    std::string country = "86";
};

// The service-centre digits of an international number ("+" and 1 to 15 digits, blanks ignored);
// nullopt when `text` is not one.
std::optional<std::string> international_service_centre(std::string_view text);
SubmitPdu build_submit_pdu(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                           std::string_view smscode, PduVariant variant, const SubmitOptions& options);

// --- Received PDU ---------------------------------------------------------------------------------------

// The concatenation element of a user-data header (8-bit or 16-bit reference): which part of which
// long message a short message is.
struct ConcatInfo {
    int reference = 0;
    int count = 0;
    int sequence = 0;
};

struct ReceivedMessage {
    std::string sender;             // a national number (the home country's code removed), "+" and the digits of
                                    // another country's number, or the text of an alphanumeric sender
    std::string text;               // GBK
    bool sender_is_name = false;    // an alphanumeric sender (a company name), which cannot be answered
    std::optional<ConcatInfo> part; // set when the message is one part of a long message
};

// One PDU line of the modem's message listing (its trailing CR may be there), read from the layout it
// actually has. Writes the codec's trace lines to `trace`. Never fails: a damaged line gives what can
// be read from it.
// The sender's country is COUNTRY of server.txt (store/phone_number.h); the second form names it.
ReceivedMessage decode_received_pdu(std::string_view line, TraceSink& trace);
ReceivedMessage decode_received_pdu(std::string_view line, TraceSink& trace, std::string_view country);

// --- User-data decoders ---------------------------------------------------------------------------------

// The first `septets` septets of packed 7-bit hex (at most as many as the data holds), as GBK text.
std::string decode_7bit(std::string_view hex, int septets);

// UCS-2 hex as GBK text; a unit GBK lacks becomes '?'. The text ends at a unit 0000.
std::string decode_ucs2(std::string_view hex);

enum class PduCoding { SevenBit, EightBit, Ucs2 };

// The alphabet a data coding scheme selects; reserved codings read as the default alphabet.
PduCoding coding_of_dcs(int dcs);

// The text of user data that starts at `user_data_hex` (header included when `has_header`) and has
// the user-data length `udl`. 8-bit data comes out byte for byte, up to a byte 0.
std::string user_data_text(std::string_view user_data_hex, int udl, PduCoding coding, bool has_header);
