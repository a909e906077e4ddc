#include "modem/pdu/pdu_status_report.h"

#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"

namespace {

constexpr int message_type_status_report = 0x02;
constexpr std::size_t time_stamp_octets = 7;

std::string_view hex_only(std::string_view line) {
    std::size_t end = line.find_first_not_of("0123456789ABCDEFabcdef");
    return line.substr(0, end);
}

} // namespace

bool is_status_report(std::string_view pdu_line) {
    PduReader reader(hex_only(pdu_line));
    read_service_centre(reader);
    int first_octet = reader.octet();
    return reader.complete() && (first_octet & message_type_mask) == message_type_status_report;
}

std::optional<DeliveryReport> decode_status_report(std::string_view pdu_line) {
    if (!is_status_report(pdu_line)) {
        return std::nullopt;
    }
    PduReader reader(hex_only(pdu_line));
    read_service_centre(reader);
    reader.octet(); // first octet
    DeliveryReport report;
    report.reference = reader.octet();
    PduAddress recipient = read_address(reader);
    report.recipient = is_international(recipient.type) ? "+" + recipient.value : recipient.value;
    reader.skip_octets(time_stamp_octets); // when the centre took the message
    reader.skip_octets(time_stamp_octets); // when it was delivered or failed
    report.status = reader.octet();
    if (!reader.complete()) {
        return std::nullopt;
    }
    return report;
}

DeliveryOutcome delivery_outcome(int status) {
    if (status < 0x20) {
        return DeliveryOutcome::Delivered;
    }
    return status < 0x40 ? DeliveryOutcome::Pending : DeliveryOutcome::Failed;
}
