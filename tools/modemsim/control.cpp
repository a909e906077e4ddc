#include "modemsim/control.h"

#include "modemsim/control_faults.h"
#include "modemsim/network_time.h"
#include "modemsim/pdu_peer.h"
#include "modemsim/text_escape.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

ControlReply refused(std::string why) {
    ControlReply reply;
    reply.ok = false;
    reply.error = std::move(why);
    return reply;
}

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool all_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}

bool is_hex_pdu(std::string_view text) {
    return !text.empty() && text.size() % 2 == 0 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

struct DeliverRequest {
    DeliverMessage message;
    std::string from;      // as given, UTF-8
    std::string text;      // as given, UTF-8
    std::string raw_pdu;   // --pdu
    std::string coding;    // "", "7bit" or "ucs2"
    bool has_text = false; // an empty text is a message too
};

// Reads the words after "deliver"; an error text when they do not make a request.
std::string parse_deliver(const std::vector<std::string>& words, DeliverRequest& request) {
    request.message.time_stamp = network_time_stamp();
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& option = words[i];
        bool has_value = i + 1 < words.size();
        if (option == "--7bit" || option == "--ucs2") {
            request.coding = option.substr(2);
        } else if (option == "--no-smsc") {
            request.message.service_centre.clear();
        } else if (!has_value) {
            return "unknown option or missing value: " + option;
        } else if (option == "--from") {
            request.from = words[++i];
        } else if (option == "--text") {
            request.text = words[++i];
            request.has_text = true;
        } else if (option == "--smsc") {
            std::string digits = words[++i];
            digits.erase(0, digits.rfind('+', 0) == 0 ? 1 : 0);
            if (!all_digits(digits)) {
                return "the service centre must be digits, with or without '+'";
            }
            request.message.service_centre = digits;
        } else if (option == "--time") {
            if (words[++i].size() != 14 || !all_digits(words[i])) {
                return "the time stamp is 14 digits: YYMMDDhhmmsszz";
            }
            request.message.time_stamp = words[i];
        } else if (option == "--pdu") {
            request.raw_pdu = words[++i];
        } else {
            return "unknown option: " + option;
        }
    }
    return {};
}

// Fills in the message from the sender and text given; an error text when they do not make one.
std::string complete_message(DeliverRequest& request) {
    DeliverMessage& message = request.message;
    const std::string& from = request.from;
    if (from.empty() || !request.has_text) {
        return "deliver needs --from and --text, or --pdu";
    }
    if (from[0] == '+' && all_digits(from.substr(1))) {
        message.form = SenderForm::International;
        message.sender = from.substr(1);
    } else if (all_digits(from)) {
        message.form = SenderForm::National;
        message.sender = from;
    } else {
        message.form = SenderForm::Alphanumeric;
        message.sender = utf8_to_gbk(from).value_or("");
        if (message.sender.empty()) {
            return "the sender has no GBK form";
        }
    }
    auto text = utf8_to_gbk(request.text);
    if (!text) {
        return "the text has no GBK form";
    }
    message.text = *text;
    if (request.coding.empty()) {
        request.coding = all_ascii(request.text) ? "7bit" : "ucs2";
    }
    message.seven_bit = request.coding == "7bit";
    return {};
}

ControlReply deliver(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    DeliverRequest request;
    std::string error = parse_deliver(words, request);
    std::string pdu;
    std::string description;
    if (error.empty() && !request.raw_pdu.empty()) {
        if (!is_hex_pdu(request.raw_pdu)) {
            return refused("the PDU must be an even number of hex digits");
        }
        pdu = request.raw_pdu;
        std::transform(pdu.begin(), pdu.end(), pdu.begin(), [](unsigned char c) { return std::toupper(c); });
        description = "raw";
    } else if (error.empty() && (error = complete_message(request)).empty()) {
        pdu = build_deliver_pdu(request.message);
        description = "from=" + escape_line_text(request.from) + " coding=" + request.coding +
                      " text=" + escape_line_text(request.text);
    }
    if (!error.empty()) {
        return refused(error);
    }
    int index = modem.store().add(pdu, description);
    if (index == 0) {
        return refused("the message memory is full");
    }
    // Announced at once, even while a submission's answer is held: the gateway has to take the
    // announcement wherever it comes.
    if (std::string indication = modem.new_message_indication(index); !indication.empty()) {
        line.send_unasked(indication);
    }
    ControlReply reply;
    reply.lines = {"stored " + std::to_string(index)};
    return reply;
}

ControlReply layout(const std::vector<std::string>& words, Modem& modem) {
    if (words.size() != 2 || (words[1] != "usual" && words[1] != "blank-line")) {
        return refused("layout takes usual or blank-line");
    }
    modem.set_blank_line_listing(words[1] == "blank-line");
    return {};
}

ControlReply latency(const std::vector<std::string>& words, LineControl& line) {
    auto latency = words.size() == 2 ? parse_submit_latency(words[1]) : std::nullopt;
    if (!latency) {
        return refused("latency takes the milliseconds a submission takes, 0 to 60000");
    }
    line.set_submit_latency(*latency);
    return {};
}

ControlReply stored(Modem& modem) {
    ControlReply reply;
    for (const auto& [index, message] : modem.store().messages()) {
        reply.lines.push_back("index=" + std::to_string(index) + " stat=" + std::to_string(message.stat) +
                              " length=" + std::to_string(tpdu_octets(message.pdu)) + " pdu=" + message.pdu + " " +
                              message.description);
    }
    return reply;
}

ControlReply status(Modem& modem, SubmissionLog& log, const LineControl& line) {
    ControlReply reply;
    reply.lines = {std::string("fault=") + fault_name(modem.fault()) +
                       " failing=" + std::to_string(modem.failing_sends()) +
                       " layout=" + (modem.blank_line_listing() ? "blank-line" : "usual") +
                       " stored=" + std::to_string(modem.store().used()) + "/" +
                       std::to_string(modem.store().capacity()) + " submissions=" + std::to_string(log.lines().size()) +
                       (line.plugged() ? " line=plugged device=" + line.device() : " line=unplugged"),
                   "latency=" + std::to_string(line.submit_latency().count()),
                   "cnmi=" + (modem.offers_indications() ? modem.indication_settings() : "unsupported")};
    return reply;
}

} // namespace

std::optional<std::chrono::milliseconds> parse_submit_latency(std::string_view text) {
    if (!all_digits(text) || text.size() > 5) {
        return std::nullopt;
    }
    long ms = std::stol(std::string(text));
    return ms <= 60000 ? std::optional<std::chrono::milliseconds>(ms) : std::nullopt;
}

ControlReply run_control(const std::vector<std::string>& words, Modem& modem, SubmissionLog& log, LineControl& line) {
    const std::string command = words.empty() ? "" : words[0];
    if (command == "deliver") {
        return deliver(words, modem, line);
    }
    if (command == "fault") {
        return fault_command(words, modem, line);
    }
    if (command == "layout") {
        return layout(words, modem);
    }
    if (command == "latency") {
        return latency(words, line);
    }
    if (words.size() != 1) {
        return refused(command.empty() ? "empty command" : "unknown command or extra words: " + command);
    }
    ControlReply reply;
    if (command == "sent") {
        reply.lines = log.lines();
    } else if (command == "stored") {
        reply = stored(modem);
    } else if (command == "status") {
        reply = status(modem, log, line);
    } else if (command == "clear") {
        modem.store().clear();
        log.clear();
    } else if (command == "quit") {
        reply.quit = true;
    } else {
        reply = refused("unknown command: " + command);
    }
    return reply;
}
