#include "modem/pdu/pdu_concat.h"

#include "modem/pdu/gsm_alphabet.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"
#include "modem/pdu/pdu_septets.h"

#include <algorithm>

namespace {

constexpr std::size_t concat_header_octets = 6; // UDHL, IEI 00, IEDL 03, reference, count, sequence
constexpr int single_septets = 160;
constexpr std::size_t single_ucs2_hex = max_user_data_octets * 2;

std::vector<UserData> split_7bit(std::string_view hex, int septets, int max_parts, bool& complete) {
    std::string all = unpack_septets(octets_from_hex(hex), static_cast<std::size_t>(std::max(septets, 0)));
    std::vector<UserData> parts;
    std::string_view rest = all;
    while (!rest.empty() && static_cast<int>(parts.size()) < max_parts) {
        std::size_t keep = gsm_septet_cut(rest, septets_per_part);
        std::string piece(rest.substr(0, keep));
        parts.push_back({pack_septets(piece), static_cast<int>(keep)});
        rest.remove_prefix(keep);
    }
    complete = rest.empty();
    return parts;
}

std::vector<UserData> split_ucs2(std::string_view hex, int max_parts, bool& complete) {
    std::vector<UserData> parts;
    while (!hex.empty() && static_cast<int>(parts.size()) < max_parts) {
        std::size_t keep = ucs2_cut(hex, ucs2_units_per_part * 4);
        parts.push_back({std::string(hex.substr(0, keep)), 0});
        hex.remove_prefix(keep);
    }
    complete = hex.empty();
    return parts;
}

bool fits_one_message(std::string_view hex, bool seven_bit, int septets) {
    return seven_bit ? septets <= single_septets : hex.size() <= single_ucs2_hex;
}

} // namespace

SplitContent split_user_data(std::string_view hex, bool seven_bit, int septets, int max_parts) {
    if (fits_one_message(hex, seven_bit, septets)) {
        return {{{std::string(hex), seven_bit ? septets : 0}}, true};
    }
    SplitContent split;
    split.parts =
        seven_bit ? split_7bit(hex, septets, max_parts, split.complete) : split_ucs2(hex, max_parts, split.complete);
    return split;
}

int parts_needed(std::string_view hex, bool seven_bit, int septets) {
    return static_cast<int>(split_user_data(hex, seven_bit, septets, 1 << 16).parts.size());
}

UserData with_concat_header(const UserData& part, bool seven_bit, int reference, int count, int sequence) {
    std::string header = "050003";
    append_hex_octet(header, static_cast<std::uint8_t>(reference));
    append_hex_octet(header, static_cast<std::uint8_t>(count));
    append_hex_octet(header, static_cast<std::uint8_t>(sequence));
    if (!seven_bit) {
        return {header + part.hex, 0};
    }
    std::size_t lead = header_septets(concat_header_octets);
    std::string septets = unpack_septets(octets_from_hex(part.hex), static_cast<std::size_t>(part.septets));
    std::string packed = pack_septets(septets, lead);
    packed.replace(0, header.size(), header);
    return {packed, static_cast<int>(lead) + part.septets};
}

std::optional<ConcatInfo> concat_info(std::string_view user_data_hex) {
    std::vector<std::uint8_t> octets = octets_from_hex(user_data_hex.substr(0, 2 * 141));
    if (octets.empty()) {
        return std::nullopt;
    }
    std::size_t end = std::min<std::size_t>(1 + octets[0], octets.size());
    for (std::size_t i = 1; i + 1 < end;) {
        int iei = octets[i];
        std::size_t length = octets[i + 1];
        std::size_t value = i + 2;
        if (value + length > end) {
            break;
        }
        ConcatInfo info;
        if (iei == 0x00 && length == 3) {
            info = {octets[value], octets[value + 1], octets[value + 2]};
        } else if (iei == 0x08 && length == 4) {
            info = {octets[value] << 8 | octets[value + 1], octets[value + 2], octets[value + 3]};
        } else {
            i = value + length;
            continue;
        }
        if (info.count < 1 || info.sequence < 1 || info.sequence > info.count) {
            return std::nullopt;
        }
        return info;
    }
    return std::nullopt;
}
