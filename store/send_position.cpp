#include "store/send_position.h"

#include "platform/text_file.h"

#include <charconv>

namespace {

std::optional<long> parse_field(const std::string& text, std::size_t& at) {
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    long value = 0;
    auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    if (error != std::errc() || value < 0) {
        return std::nullopt;
    }
    at = static_cast<std::size_t>(end - text.data());
    return value;
}

} // namespace

std::string send_position_path(const std::string& day) {
    return day + "/send/pos";
}

std::optional<SendPosition> read_send_position(const std::string& day) {
    std::optional<std::string> text = read_binary_file(send_position_path(day));
    if (!text) {
        return std::nullopt;
    }
    std::size_t at = 0;
    std::optional<long> record = parse_field(*text, at);
    std::optional<long> done = record ? parse_field(*text, at) : std::nullopt;
    if (!record || !done || *record < 1) {
        return std::nullopt;
    }
    return SendPosition{*record, *done};
}

bool write_send_position(const std::string& day, const SendPosition& position) {
    return replace_file_atomically(send_position_path(day),
                                   std::to_string(position.record) + " " + std::to_string(position.done));
}
