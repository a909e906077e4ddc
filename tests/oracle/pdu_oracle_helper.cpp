// Drives the PDU codec for the gammu comparison script: one command per line on standard input, one
// answer line per command on standard output. Texts travel as hex of their UTF-8 bytes ("-" when
// empty) so that any character survives the pipe.
//
//   submit standard|siemens[-flash] 7bit|ucs2 NUMBER SMSCODE TEXT  ->  pdu PDU LENGTH
//   submit-long standard|siemens 7bit|ucs2 NUMBER SMSCODE REFERENCE TEXT  ->  pdus PDU,PDU,...
//   received LINE                                          ->  message SENDER TEXT PART
//                                                             (PART: REFERENCE:COUNT:SEQUENCE or -)
//   deliver national|international|alpha 7bit|ucs2 SENDER TEXT  ->  pdu PDU
//   submitted PDU                                          ->  submitted NUMBER TYPE TEXT | refused

#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_concat.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"

#include <iostream>
#include <sstream>
#include <string>

namespace {

std::string from_hex(const std::string& hex) {
    std::string out;
    if (hex == "-") {
        return out;
    }
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string to_hex(const std::string& bytes) {
    if (bytes.empty()) {
        return "-";
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0F]);
    }
    return out;
}

std::string gbk_argument(const std::string& hex) {
    return utf8_to_gbk(from_hex(hex)).value_or("?");
}

std::string utf8_result(const std::string& gbk_text) {
    return to_hex(gbk_to_utf8_lossy(gbk_text));
}

// Encodes the content as the engine does for a record, cuts it to one message and builds the PDU.
std::string submit(std::istringstream& args) {
    std::string variant, coding, number, smscode, text;
    args >> variant >> coding >> number >> smscode >> text;
    bool seven_bit = coding == "7bit";
    std::string gbk_text = gbk_argument(text);
    UserData data;
    if (seven_bit) {
        Encoded7bit packed = encode_7bit(gbk_text);
        data = cut_user_data(packed.hex, true, packed.septets);
    } else {
        data = cut_user_data(encode_ucs2(gbk_text), false, 0);
    }
    // "-flash" after the variant: the show-on-screen option with 7-bit text, sent as class 0.
    bool flash = variant.ends_with("-flash");
    SubmitPdu pdu =
        build_submit_pdu(number, data.hex, seven_bit, data.septets, smscode == "-" ? "" : smscode,
                         variant.starts_with("siemens") ? PduVariant::Siemens : PduVariant::Standard, flash);
    return "pdu " + pdu.pdu + " " + std::to_string(pdu.command_length);
}

// Encodes the whole content as the engine does for a long message and builds one PDU per part.
std::string submit_long(std::istringstream& args) {
    std::string variant, coding, number, smscode, text;
    int reference = 0;
    args >> variant >> coding >> number >> smscode >> reference >> text;
    bool seven_bit = coding == "7bit";
    std::string gbk_text = gbk_argument(text);
    Encoded7bit packed = seven_bit ? encode_7bit(gbk_text) : Encoded7bit{encode_ucs2(gbk_text), 0};
    SplitContent split = split_user_data(packed.hex, seven_bit, packed.septets);
    int count = static_cast<int>(split.parts.size());
    std::string out = "pdus ";
    for (int i = 0; i < count; ++i) {
        UserData data =
            count > 1 ? with_concat_header(split.parts[i], seven_bit, reference, count, i + 1) : split.parts[i];
        SubmitPdu pdu = build_submit_pdu(number, data.hex, seven_bit, data.septets, smscode == "-" ? "" : smscode,
                                         variant == "siemens" ? PduVariant::Siemens : PduVariant::Standard,
                                         SubmitOptions{.has_header = count > 1});
        out += (i == 0 ? "" : ",") + pdu.pdu;
    }
    return out;
}

std::string received(std::istringstream& args) {
    std::string line;
    args >> line;
    NullTrace trace;
    ReceivedMessage message = decode_received_pdu(line + "\r", trace);
    std::string part = "-";
    if (message.part) {
        part = std::to_string(message.part->reference) + ":" + std::to_string(message.part->count) + ":" +
               std::to_string(message.part->sequence);
    }
    return "message " + utf8_result(message.sender) + " " + utf8_result(message.text) + " " + part;
}

std::string deliver(std::istringstream& args) {
    std::string form, coding, sender, text;
    args >> form >> coding >> sender >> text;
    DeliverMessage message;
    message.form = form == "international" ? SenderForm::International
                   : form == "alpha"       ? SenderForm::Alphanumeric
                                           : SenderForm::National;
    message.seven_bit = coding == "7bit";
    message.sender = gbk_argument(sender);
    message.text = gbk_argument(text);
    return "pdu " + build_deliver_pdu(message);
}

std::string submitted(std::istringstream& args) {
    std::string pdu;
    args >> pdu;
    auto message = decode_submit_pdu(pdu);
    if (!message) {
        return "refused";
    }
    return "submitted " + message->number + " " + std::to_string(message->number_type) + " " +
           utf8_result(message->text);
}

std::string answer(const std::string& line) {
    std::istringstream args(line);
    std::string command;
    args >> command;
    if (command == "submit") {
        return submit(args);
    }
    if (command == "submit-long") {
        return submit_long(args);
    }
    if (command == "received") {
        return received(args);
    }
    if (command == "deliver") {
        return deliver(args);
    }
    if (command == "submitted") {
        return submitted(args);
    }
    return "error unknown command " + command;
}

} // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::cout << answer(line) << '\n' << std::flush;
    }
    return 0;
}
