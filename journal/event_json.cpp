#include "journal/event_json.h"

#include "platform/gbk.h"

#include <optional>
#include <string>

namespace {

bool of_a_recipient(const std::string& kind) {
    return kind == "sent" || kind == "failed" || kind == "delivered";
}

// "report 0" gives 0; anything else nothing.
std::optional<int> report_status(const std::string& detail) {
    if (detail.rfind("report ", 0) != 0) {
        return std::nullopt;
    }
    std::string number = detail.substr(7);
    if (number.empty() || number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoi(number);
}

} // namespace

nlohmann::json event_json(const JournalEvent& e) {
    nlohmann::json body = {{"id", e.id}, {"event", e.kind}, {"seq", e.seq}, {"time", e.time}};
    if (of_a_recipient(e.kind)) {
        body["day"] = e.day;
        body["record"] = e.record;
        body["index"] = e.index;
        body["to"] = gbk_to_utf8_lossy(e.number);
        body["status"] = e.kind;
        body["text"] = gbk_to_utf8_lossy(e.text);
        body["parts"] = e.parts;
        if (std::optional<int> status = report_status(e.detail)) {
            body["report"] = *status;
        } else if (e.kind == "failed" && !e.detail.empty()) {
            body["reason"] = gbk_to_utf8_lossy(e.detail);
        }
    } else if (e.kind == "received" || e.kind == "optout") {
        body["day"] = e.day;
        body["record"] = e.record;
        body["from"] = gbk_to_utf8_lossy(e.number);
        body["text"] = gbk_to_utf8_lossy(e.text);
        body["parts"] = e.parts;
    } else if (e.kind == "state") {
        body["state"] = e.detail;
    } else {
        body["text"] = gbk_to_utf8_lossy(e.text);
    }
    return body;
}
