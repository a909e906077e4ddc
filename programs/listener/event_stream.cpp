#include "event_stream.h"

#include "journal/event_json.h"
#include "store/event_journal.h"

#include <nlohmann/json.hpp>

#include <cstdlib>

namespace {

constexpr int most_wait_s = 60;
constexpr std::size_t default_limit = 100;
constexpr std::size_t most_limit = 1000;

std::optional<long long> whole_number(const std::string& text, long long most) {
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value <= most ? std::optional<long long>(value) : std::nullopt;
}

HttpResponse events_answer(const std::vector<JournalEvent>& events, const JournalPosition& at,
                           const std::string& asked_after, std::size_t limit) {
    nlohmann::json list = nlohmann::json::array();
    for (const JournalEvent& e : events) {
        list.push_back(event_json(e));
    }
    std::string next = !events.empty() ? events.back().id : !asked_after.empty() ? asked_after : std::to_string(at.seq);
    nlohmann::json body = {{"events", list}, {"next_after", next}, {"more", events.size() == limit}};
    return json_response(200, body.dump());
}

} // namespace

std::optional<HttpResponse> answer_event_request(const HttpRequest& req) {
    if (req.path != "/v1/events") {
        return std::nullopt;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        return error_response(405, "only GET is served here");
    }
    JournalReader reader;
    JournalPosition at;
    std::string after = req.param("after").value_or("");
    if (std::optional<long long> seq = whole_number(after, 999999999999999LL)) {
        at = reader.after_seq(*seq);
    } else if (!after.empty()) {
        if (after.size() > 200) {
            return error_response(400, "after must be an event's id or seq", "after");
        }
        std::optional<JournalPosition> found = reader.after_id(after);
        if (!found) {
            return error_response(404, "no event with that id is kept (ask without after to begin again)", "after");
        }
        at = *found;
    }
    long long wait_s = 0;
    if (auto asked = req.param("wait")) {
        std::optional<long long> seconds = whole_number(*asked, most_wait_s);
        if (!seconds) {
            return error_response(400, "wait must be 0 to 60 seconds", "wait");
        }
        wait_s = *seconds;
    }
    std::size_t limit = default_limit;
    if (auto asked = req.param("limit")) {
        std::optional<long long> most = whole_number(*asked, static_cast<long long>(most_limit));
        if (!most || *most < 1) {
            return error_response(400, "limit must be 1 to 1000", "limit");
        }
        limit = static_cast<std::size_t>(*most);
    }
    std::vector<JournalEvent> events = reader.read(at, limit);
    if (!events.empty() || wait_s == 0) {
        return events_answer(events, at, after, limit);
    }
    HttpResponse pending;
    pending.wait_ms = static_cast<int>(wait_s * 1000);
    pending.again = [reader, at, after, limit](bool last) mutable -> std::optional<HttpResponse> {
        std::vector<JournalEvent> events = reader.read(at, limit);
        if (events.empty() && !last) {
            return std::nullopt;
        }
        return events_answer(events, at, after, limit);
    };
    return pending;
}
