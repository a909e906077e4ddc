#include "modemsim/modem.h"

#include "modem/pdu/pdu_peer.h"

#include <cstdio>

std::vector<ReportRequest> Modem::take_report_requests() {
    std::vector<ReportRequest> requests;
    requests.swap(report_requests_);
    return requests;
}

ReportRouting Modem::report_status(const ReportRequest& request, const std::string& discharged_at) {
    StatusReport report;
    report.service_centre = profile_.service_centre.substr(profile_.service_centre.rfind('+', 0) == 0 ? 1 : 0);
    report.reference = request.reference;
    report.recipient = request.recipient;
    report.recipient_type = request.recipient_type;
    report.submitted_at = request.submitted_at;
    report.discharged_at = discharged_at;
    report.status = request.status;
    std::string pdu = build_status_report_pdu(report);

    ReportRouting routing;
    // As with new messages, a dead modem or one told to hold its indications announces nothing.
    bool announcing = fault_ != Fault::Silent && cnmi_[0] != 0;
    int ds = cnmi_[3];
    if (announcing && ds == 1) {
        routing.unasked = "\r\n+CDS: " + std::to_string(tpdu_octets(pdu)) + "\r\n" + pdu + "\r\n";
        return routing;
    }
    char status[8];
    std::snprintf(status, sizeof status, "%02X", request.status);
    routing.index = store_.add(pdu, "report ref=" + std::to_string(request.reference) + " status=" + status);
    routing.lost = routing.index == 0;
    if (announcing && ds == 2 && !routing.lost) {
        routing.unasked = "\r\n+CDSI: \"SM\"," + std::to_string(routing.index) + "\r\n";
    }
    return routing;
}

int Modem::new_concatenation_reference(bool sixteen_bit) {
    int reference = next_concatenation_reference_ % (sixteen_bit ? 65536 : 256);
    next_concatenation_reference_ = (next_concatenation_reference_ + 1) % 65536;
    return reference;
}
