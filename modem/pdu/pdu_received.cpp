#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_concat.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"
#include "platform/gbk.h"
#include "store/phone_number.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr size_t max_user_data_chars = 1000;

// Senders of the home country are stored as national numbers, as replies and the members file expect:
// in international form whatever their length, or of unknown type when they are too long to be national
// and begin with the country code. Other international senders keep their '+', so a reply goes back to
// them as such. A sender that is no phone number is kept as it was read.
std::string stored_sender(const PduAddress& sender, std::string_view country) {
    const std::string& value = sender.value;
    if (is_alphanumeric(sender.type)) {
        return value;
    }
    if (is_international(sender.type)) {
        if (value.size() > country.size() && value.starts_with(country)) {
            return value.substr(country.size());
        }
        return is_international_number("+" + value) ? "+" + value : value;
    }
    std::optional<std::string> canonical = canonical_number(value, country);
    return canonical ? stored_number(*canonical, country) : value;
}

// The user data as it stands on the line, up to the line's CR or any other character that cannot be
// part of it.
std::string_view user_data_chars(std::string_view from_d) {
    size_t end = 0;
    while (end < from_d.size() && end < max_user_data_chars && from_d[end] >= '0' && from_d[end] <= '{') {
        ++end;
    }
    return from_d.substr(0, end);
}

struct TraceFormats {
    std::string sender = gbk("手机号=%s\n");
    std::string start = "NRS=[%s],NRI=%d\n";
    std::string raw = gbk("内容=%s\n");
    std::string coding = "CodeType =[%s],len=[%s]\n";
    std::string decoded = gbk("CodeType=[%s],内容2=%s\n");
};

const TraceFormats& formats() {
    static const TraceFormats once;
    return once;
}

// Where the fields of a listed PDU stand, read from the line itself.
struct LineLayout {
    int first_octet = 0;
    PduAddress sender;
    std::string coding_type; // protocol identifier and coding scheme, as written
    int dcs = 0;
    std::string udl_text;
    int udl = 0;
    size_t user_data_start = 0;
};

LineLayout read_layout(std::string_view line) {
    LineLayout layout;
    PduReader pdu(line);
    read_service_centre(pdu);
    layout.first_octet = pdu.octet();
    // The listing also shows stored outgoing messages, which have the SMS-SUBMIT layout.
    bool submit = (layout.first_octet & message_type_mask) == message_type_submit;
    if (submit) {
        pdu.skip_octets(1); // message reference
    }
    layout.sender = read_address(pdu);
    layout.coding_type = std::string(pdu.chars(4));
    PduReader coding_fields(layout.coding_type);
    coding_fields.skip_octets(1);
    layout.dcs = coding_fields.octet();
    pdu.skip_octets(submit ? validity_octets(layout.first_octet) : 7); // validity, or the time stamp
    layout.udl_text = std::string(pdu.chars(2));
    layout.udl = PduReader(layout.udl_text).octet();
    layout.user_data_start = pdu.position();
    return layout;
}

} // namespace

ReceivedMessage decode_received_pdu(std::string_view line, TraceSink& trace) {
    return decode_received_pdu(line, trace, home_country());
}

ReceivedMessage decode_received_pdu(std::string_view line, TraceSink& trace, std::string_view country) {
    const TraceFormats& format = formats();
    LineLayout layout = read_layout(line);
    std::string_view from_d = line.substr(std::min(layout.user_data_start, line.size()));
    tracef(trace, format.sender.c_str(), layout.sender.semi_octets.c_str());
    tracef(trace, format.start.c_str(), layout.sender.length_text.c_str(), static_cast<int>(layout.user_data_start));
    tracef(trace, format.raw.c_str(), std::string(from_d).c_str());
    tracef(trace, format.coding.c_str(), layout.coding_type.c_str(), layout.udl_text.c_str());

    ReceivedMessage message;
    message.sender = stored_sender(layout.sender, country);
    message.sender_is_name = is_alphanumeric(layout.sender.type);
    bool has_header = (layout.first_octet & user_data_header_flag) != 0;
    message.text = user_data_text(user_data_chars(from_d), layout.udl, coding_of_dcs(layout.dcs), has_header);
    if (has_header) {
        message.part = concat_info(user_data_chars(from_d));
    }
    tracef(trace, format.decoded.c_str(), layout.coding_type.c_str(), message.text.c_str());
    return message;
}
