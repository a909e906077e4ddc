#include "routes.h"

#include "event_stream.h"

#include "keyed_post.h"
#include "message_request.h"
#include "optout_routes.h"
#include "platform/clock.h"
#include "received.h"
#include "record_status.h"
#include "status/gateway_report.h"
#include "store/settings.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

namespace {

HttpResponse send_json(int status, const nlohmann::json& body) {
    // Text the spool holds is converted lossily, so it is valid UTF-8; replace guards the rest.
    return json_response(status, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// The token of "Authorization: Bearer TOKEN", or empty.
std::string bearer_token(const HttpRequest& req) {
    std::string value = req.header("Authorization");
    const std::string scheme = "Bearer ";
    if (value.size() <= scheme.size()) {
        return {};
    }
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(value[i])) != std::tolower(static_cast<unsigned char>(scheme[i]))) {
            return {};
        }
    }
    std::string token = value.substr(scheme.size());
    while (!token.empty() && token.back() == ' ') {
        token.pop_back();
    }
    return token;
}

std::optional<std::string> token_name(const ListenerContext& context, const HttpRequest& req) {
    std::string token = bearer_token(req);
    if (token.empty()) {
        return std::nullopt;
    }
    return match_token(context.tokens, token);
}

// A decimal number of at most nine digits (the counters' size), or nullopt.
std::optional<long> small_number(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stol(text);
}

// "2026-12-10": a spool date as the day directories are named (no leading zeros), or nullopt.
std::optional<std::string> spool_day(const std::string& text) {
    int year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 || year < 1900 || month < 1 ||
        month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    return spool_date(t);
}

HttpResponse post_message(const HttpRequest& req) {
    QueueOutcome outcome = queue_posted_message(req, setting_is_on(settings::long_messages));
    if (outcome.status != 201 && !outcome.replayed) {
        HttpResponse res = error_response(outcome.status, outcome.error, outcome.field);
        if (outcome.retry_after > 0) {
            res.set_header("Retry-After", std::to_string(outcome.retry_after));
        }
        return res;
    }
    nlohmann::json answer = {{"day", outcome.day}, {"record", outcome.record}};
    if (outcome.opted_out) {
        answer["opted_out"] = *outcome.opted_out; // only with an opt-out list
    }
    HttpResponse res = send_json(outcome.status, answer);
    res.set_header("Location", "/v1/messages/" + outcome.day + "/" + std::to_string(outcome.record));
    if (outcome.replayed) {
        res.set_header("Idempotent-Replayed", "true");
    }
    return res;
}

HttpResponse get_message(const std::string& day_text, const std::string& record_text) {
    auto day = spool_day(day_text);
    auto record = small_number(record_text);
    if (!day || !record || *record < 1) {
        return error_response(404, "no such record");
    }
    std::optional<nlohmann::json> status = record_status_json(*day, *record);
    if (!status) {
        return error_response(404, "no such record");
    }
    return send_json(200, *status);
}

HttpResponse get_received(const HttpRequest& req) {
    std::string day = spool_date(real_clock().now());
    if (auto asked_day = req.param("day")) {
        auto asked = spool_day(*asked_day);
        if (!asked) {
            return error_response(400, "day must be a date such as 2026-1-31", "day");
        }
        day = *asked;
    }
    long after = 0;
    if (auto asked_after = req.param("after")) {
        auto asked = small_number(*asked_after);
        if (!asked) {
            return error_response(400, "after must be a record number (0 or more)", "after");
        }
        after = *asked;
    }
    return send_json(200, received_json(day, after));
}

HttpResponse get_metrics() {
    HttpResponse res;
    res.set_header("Content-Type", "text/plain; version=0.0.4; charset=utf-8");
    res.body = report_metrics(current_gateway_report());
    return res;
}

// "/v1/messages/DAY/RECORD": DAY and RECORD, neither empty nor holding a '/'.
std::optional<std::pair<std::string, std::string>> message_path(const std::string& path) {
    const std::string prefix = "/v1/messages/";
    if (path.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    std::string rest = path.substr(prefix.size());
    std::size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string::npos || slash + 1 == rest.size() ||
        rest.find('/', slash + 1) != std::string::npos) {
        return std::nullopt;
    }
    return std::make_pair(rest.substr(0, slash), rest.substr(slash + 1));
}

} // namespace

std::optional<HttpResponse> admit_request(ListenerContext& context, HttpRequest& request) {
    std::optional<std::string> name = token_name(context, request);
    if (!name) {
        HttpResponse res = error_response(401, "a valid bearer token is needed (Authorization: Bearer TOKEN)");
        res.set_header("WWW-Authenticate", "Bearer");
        return res;
    }
    request.client = *name;
    if (!context.rate_limit.allow(*name)) {
        HttpResponse res = error_response(429, "too many requests for this token");
        res.set_header("Retry-After", std::to_string(context.rate_limit.seconds_until_allowed(*name)));
        return res;
    }
    return std::nullopt;
}

HttpResponse answer_request(const HttpRequest& req) {
    // HEAD is answered as GET; the server leaves the body out.
    bool get = req.method == "GET" || req.method == "HEAD";
    if (req.method == "POST" && req.path == "/v1/messages") {
        return post_message(req);
    }
    if (get && req.path == "/v1/received") {
        return get_received(req);
    }
    if (get && req.path == "/v1/status") {
        return send_json(200, report_json(current_gateway_report()));
    }
    if (get && req.path == "/metrics") {
        return get_metrics();
    }
    if (std::optional<HttpResponse> optout = answer_optout_request(req)) {
        return *optout;
    }
    if (std::optional<HttpResponse> events = answer_event_request(req)) {
        return *events;
    }
    if (auto day_and_record = message_path(req.path); get && day_and_record) {
        return get_message(day_and_record->first, day_and_record->second);
    }
    return error_response(404, "no such route");
}

void log_request(ListenerContext& context, const HttpRequest& request, int status) {
    context.access_log.write(request.client, request.remote, request.method, request.path, status);
}
