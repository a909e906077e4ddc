#include "modem/pdu/pdu_codec.h"

#include "modem/pdu/gsm_alphabet.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"
#include "modem/pdu/pdu_septets.h"
#include "modem/pdu/pdu_text.h"
#include "platform/gbk.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

// 140 octets hold 160 septets exactly.
constexpr size_t max_septets = max_user_data_octets * 8 / 7;
constexpr size_t max_ucs2_hex = max_user_data_octets * 2;

// A length or count as written in a PDU: at least two upper-case hex digits.
std::string hex_field(size_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%2.2zX", value);
    return text;
}

UserData cut_7bit(std::string_view hex, int septets) {
    std::string all = unpack_septets(octets_from_hex(hex), static_cast<size_t>(std::max(septets, 0)));
    size_t keep = gsm_septet_cut(all, max_septets);
    all.resize(keep);
    return {pack_septets(all), static_cast<int>(keep)};
}

// The last 11 characters of the service-centre setting; a shorter setting is used whole.
std::string_view service_centre_digits(std::string_view smscode) {
    return smscode.size() > 11 ? smscode.substr(smscode.size() - 11) : smscode;
}

std::string user_data_length(std::string_view user_data, bool seven_bit, int septets) {
    return hex_field(seven_bit ? static_cast<size_t>(std::max(septets, 0)) : user_data.size() / 2);
}

// Protocol identifier and data coding scheme: 7-bit, 7-bit class 0 (shown at once), or UCS-2.
std::string pid_dcs(bool seven_bit, bool flash) {
    return seven_bit ? (flash ? "0010" : "0000") : "0008";
}

// SMS-SUBMIT with a relative validity period, and the header indicator and the status-report request
// when asked for.
std::string first_octet(const SubmitOptions& options) {
    int octet = 0x11 | (options.has_header ? user_data_header_flag : 0) | (options.status_report ? 0x20 : 0);
    return hex_field(static_cast<size_t>(octet));
}

// An international destination ("+" and its digits) goes out with its own digits and type 91; `national`
// is the field for any other number.
std::string destination_field(std::string_view number, const std::string& national) {
    if (number.size() > 1 && number.front() == '+') {
        std::string_view digits = number.substr(1);
        return hex_field(digits.size()) + "91" + swap_semi_octets(digits);
    }
    return national;
}

SubmitPdu standard_submit(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                          const SubmitOptions& options) {
    bool flash = options.flash;
    // No service-centre address (or the one asked for), the first octet, reference 0; the destination
    // is international, the country code (86) followed by a national number.
    std::string centre = "00";
    if (!options.service_centre.empty()) {
        centre =
            hex_field(1 + (options.service_centre.size() + 1) / 2) + "91" + swap_semi_octets(options.service_centre);
    }
    std::string pdu = centre + first_octet(options) + "00";
    std::string with_country = options.country + std::string(number);
    pdu += destination_field(number, hex_field(with_country.size()) + "91" + swap_semi_octets(with_country));
    // PID 00, then DCS and validity: 24 hours for English, 4 hours 5 minutes for Chinese.
    pdu += pid_dcs(seven_bit, flash) + (seven_bit ? "A7" : "30");
    pdu += user_data_length(user_data, seven_bit, septets);
    pdu += user_data;
    // The send command counts the octets after the service-centre field.
    int command_length = static_cast<int>((pdu.size() - centre.size()) / 2);
    return {std::move(pdu), command_length};
}

SubmitPdu siemens_submit(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                         std::string_view smscode, const SubmitOptions& options) {
    bool flash = options.flash;
    std::string_view centre = service_centre_digits(smscode);
    // Service-centre length in octets: the type, the country code 86, then the digits.
    std::string pdu = hex_field(2 + (centre.size() + 1) / 2);
    pdu += "9168";
    pdu += swap_semi_octets(centre);
    pdu += first_octet(options) + "00";
    pdu += destination_field(number, hex_field(number.size()) + "81" + swap_semi_octets(number));
    pdu += pid_dcs(seven_bit, flash) + "A7";
    pdu += user_data_length(user_data, seven_bit, septets);
    pdu += user_data;
    // These phones take the PDU up to the Ctrl-Z whatever length the command announces.
    return {std::move(pdu), 176};
}

} // namespace

std::optional<std::string> international_service_centre(std::string_view text) {
    std::string digits;
    bool plus = false;
    for (char c : text) {
        if (c == ' ') {
            continue;
        }
        if (c == '+' && !plus && digits.empty()) {
            plus = true;
        } else if (c >= '0' && c <= '9' && plus) {
            digits += c;
        } else {
            return std::nullopt;
        }
    }
    if (digits.empty() || digits.size() > 15) {
        return std::nullopt;
    }
    return digits;
}

Encoded7bit encode_7bit(std::string_view gbk_text) {
    std::string septets = gsm_septets_from_gbk(gbk_text);
    return {pack_septets(septets), static_cast<int>(septets.size())};
}

std::string encode_ucs2(std::string_view gbk_text) {
    return utf16_hex(gbk_to_utf16_or_question(gbk_text));
}

UserData cut_user_data(std::string_view hex, bool seven_bit, int septets) {
    if (seven_bit) {
        if (septets <= static_cast<int>(max_septets)) {
            return {std::string(hex), septets};
        }
        return cut_7bit(hex, septets);
    }
    if (hex.size() <= max_ucs2_hex) {
        return {std::string(hex), 0};
    }
    return {std::string(hex.substr(0, ucs2_cut(hex, max_ucs2_hex))), 0};
}

std::string swap_semi_octets(std::string_view digits) {
    std::string out(digits);
    if (out.size() % 2 != 0) {
        out.push_back('F');
    }
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        std::swap(out[i], out[i + 1]);
    }
    return out;
}

std::string unswap_semi_octets(std::string_view semi_octets) {
    std::string out(semi_octets);
    for (size_t i = 0; i + 1 < out.size(); i += 2) {
        std::swap(out[i], out[i + 1]);
    }
    if (!out.empty() && out.back() == 'F') {
        out.pop_back();
    }
    return out;
}

SubmitPdu build_submit_pdu(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                           std::string_view smscode, PduVariant variant, bool flash) {
    return build_submit_pdu(number, user_data, seven_bit, septets, smscode, variant, SubmitOptions{.flash = flash});
}

SubmitPdu build_submit_pdu(std::string_view number, std::string_view user_data, bool seven_bit, int septets,
                           std::string_view smscode, PduVariant variant, const SubmitOptions& options) {
    if (variant == PduVariant::Siemens) {
        return siemens_submit(number, user_data, seven_bit, septets, smscode, options);
    }
    return standard_submit(number, user_data, seven_bit, septets, options);
}
