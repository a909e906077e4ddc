#include "modemsim/control_deliver.h"

#include "modem/pdu/pdu_peer.h"
#include "modemsim/network_time.h"
#include "modemsim/text_escape.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace {

constexpr int most_parts = 255; // the count is one octet

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

// A whole number within [low, high], or nullopt.
std::optional<int> number_word(std::string_view word, int low, int high) {
    if (!all_digits(word) || word.size() > 6) {
        return std::nullopt;
    }
    int value = std::stoi(std::string(word));
    return value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

// Part numbers as "3,1,2"; nullopt when any of them is not a number from 1.
std::optional<std::vector<int>> part_list(std::string_view word) {
    std::vector<int> numbers;
    for (size_t at = 0; at <= word.size();) {
        size_t comma = std::min(word.find(',', at), word.size());
        auto number = number_word(word.substr(at, comma - at), 1, most_parts);
        if (!number) {
            return std::nullopt;
        }
        numbers.push_back(*number);
        at = comma + 1;
    }
    return numbers;
}

std::string joined(const std::vector<int>& numbers) {
    std::string text;
    for (int number : numbers) {
        text += (text.empty() ? "" : ",") + std::to_string(number);
    }
    return text;
}

struct DeliverRequest {
    DeliverMessage message;
    std::string from;      // as given, UTF-8
    std::string text;      // as given, UTF-8
    std::string raw_pdu;   // --pdu
    std::string coding;    // "", "7bit" or "ucs2"
    bool has_text = false; // an empty text is a message too
    std::string memory;    // --memory: put straight into this memory, not received from the network

    // A long message: --parts and what goes with it.
    bool long_message = false;
    int parts = 0; // 0: as many as the text needs; once split, how many it took
    std::optional<int> reference;
    bool sixteen_bit = false;
    std::optional<std::vector<int>> order;
    std::vector<int> drop;
    std::vector<int> duplicate;
    bool part_options = false; // any of --ref, --ref16, --order, --drop, --duplicate given
};

// Reads the options of a long message; an error text when `option` is one of them and its value is
// wrong, "" when it was taken, nullopt when it is none of them.
std::optional<std::string> parse_part_option(const std::string& option, const std::string& value,
                                             DeliverRequest& request) {
    if (option == "--parts") {
        auto count = value == "auto" ? std::optional<int>(0) : number_word(value, 1, most_parts);
        if (!count) {
            return "--parts takes auto or a count of 1 to " + std::to_string(most_parts);
        }
        request.long_message = true;
        request.parts = *count;
        return "";
    }
    if (option == "--ref") {
        request.reference = number_word(value, 0, 65535);
        request.part_options = true;
        return request.reference ? "" : "--ref takes a reference of 0 to 255, or to 65535 with --ref16";
    }
    if (option != "--order" && option != "--drop" && option != "--duplicate") {
        return std::nullopt;
    }
    std::optional<std::vector<int>> list = part_list(value);
    if (!list) {
        return option + " takes part numbers from 1, separated by commas";
    }
    request.part_options = true;
    if (option == "--order") {
        request.order = list;
    } else {
        (option == "--drop" ? request.drop : request.duplicate) = *list;
    }
    return "";
}

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
        } else if (option == "--ref16") {
            request.sixteen_bit = true;
            request.part_options = true;
        } else if (!has_value) {
            return "unknown option or missing value: " + option;
        } else if (auto error = parse_part_option(option, words[i + 1], request)) {
            if (!error->empty()) {
                return *error;
            }
            ++i;
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
        } else if (option == "--memory") {
            request.memory = words[++i];
        } else {
            return "unknown option: " + option;
        }
    }
    if (request.part_options && !request.long_message) {
        return "--ref, --ref16, --order, --drop and --duplicate go with --parts";
    }
    if (request.long_message && !request.raw_pdu.empty()) {
        return "--pdu takes a whole PDU: no --parts";
    }
    if (request.reference && *request.reference > (request.sixteen_bit ? 65535 : 255)) {
        return "--ref takes a reference of 0 to 255, or to 65535 with --ref16";
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

// One stored PDU and what the stored listing says of it.
struct Piece {
    std::string pdu;
    std::string description;
    int sequence = 0; // the part it is, for a long message
};

// The parts of a long message in the order they are to be stored; an error text when the request
// does not make them.
std::string long_message_pieces(DeliverRequest& request, Modem& modem, std::vector<Piece>& pieces) {
    const DeliverMessage& message = request.message;
    Concatenation part;
    part.sixteen_bit = request.sixteen_bit;
    size_t header_octets = concatenation_header(part).size() / 2 + 1;
    std::vector<std::string> texts = split_long_text(message.text, message.seven_bit, header_octets, request.parts);
    if (texts.empty()) {
        size_t needed = split_long_text(message.text, message.seven_bit, header_octets, 0).size();
        return static_cast<int>(needed) > request.parts
                   ? "the text needs " + std::to_string(needed) + " parts"
                   : "the text has fewer characters than the " + std::to_string(request.parts) + " parts";
    }
    auto count = static_cast<int>(texts.size());
    if (count > most_parts) {
        return "the text needs " + std::to_string(count) + " parts, more than " + std::to_string(most_parts);
    }
    std::vector<int> order(texts.size());
    for (int i = 0; i < count; ++i) {
        order[i] = i + 1;
    }
    if (request.order) {
        std::vector<int> sorted = *request.order;
        std::sort(sorted.begin(), sorted.end());
        if (sorted != order) {
            return "--order names each of the " + std::to_string(count) + " parts once";
        }
        order = *request.order;
    }
    for (const std::vector<int>* list : {&request.drop, &request.duplicate}) {
        if (std::any_of(list->begin(), list->end(), [count](int sequence) { return sequence > count; })) {
            return "--drop and --duplicate name parts 1 to " + std::to_string(count);
        }
    }
    part.reference = request.reference ? *request.reference : modem.new_concatenation_reference(part.sixteen_bit);
    part.count = count;
    request.reference = part.reference;
    request.parts = count;
    std::set<int> dropped(request.drop.begin(), request.drop.end());
    std::set<int> twice(request.duplicate.begin(), request.duplicate.end());
    for (int sequence : order) {
        if (dropped.count(sequence) != 0) {
            continue;
        }
        part.sequence = sequence;
        DeliverMessage piece = message;
        piece.text = texts[static_cast<size_t>(sequence - 1)];
        piece.header = concatenation_header(part);
        std::string description = "from=" + escape_line_text(request.from) + " coding=" + request.coding +
                                  " part=" + std::to_string(sequence) + "/" + std::to_string(count) +
                                  " ref=" + std::to_string(part.reference) +
                                  " text=" + escape_line_text(gbk_to_utf8_lossy(piece.text));
        // A part sent twice arrives right after itself, as a network repeating a part does it.
        for (int copy = twice.count(sequence) != 0 ? 2 : 1; copy > 0; --copy) {
            pieces.push_back(Piece{build_deliver_pdu(piece), description, sequence});
        }
    }
    if (pieces.empty()) {
        return "every part is dropped";
    }
    return {};
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Puts every piece straight into `memory`, all of them or none: a long message cut short by a full
// memory would pass for one missing a part. An error text when they do not fit.
std::string put_pieces(const std::string& memory, const std::vector<Piece>& pieces, Modem& modem,
                       std::vector<int>& indices) {
    const MessageMemory* target = modem.store().memory(memory);
    if (target == nullptr) {
        std::string names;
        for (const std::string& name : modem.store().names()) {
            names += (names.empty() ? "" : " or ") + name;
        }
        return "--memory takes " + names;
    }
    if (target->capacity() - target->used() < static_cast<int>(pieces.size())) {
        return "memory " + memory + " is full: no room for " + std::to_string(pieces.size()) +
               (pieces.size() == 1 ? " message" : " parts");
    }
    for (const Piece& piece : pieces) {
        indices.push_back(modem.put(memory, piece.pdu, piece.description));
    }
    return {};
}

// The pieces come from the network one by one, each announced at once, even while a submission's
// answer is held: the gateway has to take the announcement wherever it comes. A full receiving memory
// leaves a piece with the network. Returns how many it holds.
int arrive_pieces(const std::vector<Piece>& pieces, Modem& modem, LineControl& line, std::vector<int>& indices) {
    int held = 0;
    for (const Piece& piece : pieces) {
        Modem::Arrival arrival = modem.arrive(piece.pdu, piece.description);
        line.send_unasked(arrival.unasked);
        if (arrival.index == 0) {
            ++held;
        } else {
            indices.push_back(arrival.index);
        }
    }
    return held;
}

} // namespace

ControlReply deliver_command(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    DeliverRequest request;
    std::string error = parse_deliver(words, request);
    std::vector<Piece> pieces;
    if (error.empty() && !request.raw_pdu.empty()) {
        if (!is_hex_pdu(request.raw_pdu)) {
            return refused("the PDU must be an even number of hex digits");
        }
        pieces.push_back(Piece{upper(request.raw_pdu), "raw"});
    } else if (error.empty() && (error = complete_message(request)).empty()) {
        if (request.long_message) {
            error = long_message_pieces(request, modem, pieces);
        } else {
            pieces.push_back(Piece{build_deliver_pdu(request.message), "from=" + escape_line_text(request.from) +
                                                                           " coding=" + request.coding +
                                                                           " text=" + escape_line_text(request.text)});
        }
    }
    if (!error.empty()) {
        return refused(error);
    }
    std::vector<int> indices;
    int held = 0;
    if (!request.memory.empty()) {
        error = put_pieces(request.memory, pieces, modem, indices);
    } else {
        held = arrive_pieces(pieces, modem, line, indices);
    }
    if (!error.empty()) {
        return refused(error);
    }
    std::vector<int> sequences;
    for (const Piece& piece : pieces) {
        sequences.push_back(piece.sequence);
    }
    ControlReply reply;
    reply.lines = {indices.empty() ? "" : "stored " + joined(indices)};
    if (held > 0) {
        reply.lines[0] += (indices.empty() ? "held " : " held ") + std::to_string(held);
    }
    if (request.long_message) {
        reply.lines[0] += " ref=" + std::to_string(*request.reference) + " parts=" + joined(sequences) +
                          " count=" + std::to_string(request.parts);
    }
    return reply;
}
