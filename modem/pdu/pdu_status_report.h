#pragma once

#include <optional>
#include <string>
#include <string_view>

// SMS-STATUS-REPORT: the network's word on a message sent with a status-report request.
struct DeliveryReport {
    int reference = 0;     // TP-MR of the message it reports on
    std::string recipient; // TP-RA digits as written, with a '+' before them when its type is international
    int status = 0;        // TP-ST
};

// Whether a PDU line (service-centre field first) is a status report rather than a received message.
bool is_status_report(std::string_view pdu_line);

// The report's fields; nothing when the line is no status report or is cut short.
std::optional<DeliveryReport> decode_status_report(std::string_view pdu_line);

// TP-ST: 0-31 the message was delivered (or the network knows it was), 32-63 the network still tries,
// 64 and up it gave up.
enum class DeliveryOutcome { Delivered, Pending, Failed };
DeliveryOutcome delivery_outcome(int status);
