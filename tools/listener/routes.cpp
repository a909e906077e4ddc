#include "routes.h"

#include "message_request.h"
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

void send_json(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    // Text the spool holds is converted lossily, so it is valid UTF-8; replace guards the rest.
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
                    "application/json; charset=utf-8");
}

void send_error(httplib::Response& res, int status, const std::string& error, const std::string& field = "") {
    nlohmann::json body = {{"error", error}};
    if (!field.empty()) {
        body["field"] = field;
    }
    send_json(res, status, body);
}

// The token of "Authorization: Bearer TOKEN", or empty.
std::string bearer_token(const httplib::Request& req) {
    std::string value = req.get_header_value("Authorization");
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

std::optional<std::string> token_name(const ListenerContext& context, const httplib::Request& req) {
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

void post_message(const httplib::Request& req, httplib::Response& res) {
    QueueOutcome outcome = queue_message_request(req.body, setting_is_on(settings::long_messages));
    if (outcome.status != 201) {
        send_error(res, outcome.status, outcome.error, outcome.field);
        return;
    }
    res.set_header("Location", "/v1/messages/" + outcome.day + "/" + std::to_string(outcome.record));
    send_json(res, 201, {{"day", outcome.day}, {"record", outcome.record}});
}

void get_message(const httplib::Request& req, httplib::Response& res) {
    auto day = spool_day(req.matches[1]);
    auto record = small_number(req.matches[2]);
    if (!day || !record || *record < 1) {
        send_error(res, 404, "no such record");
        return;
    }
    std::optional<nlohmann::json> status = record_status_json(*day, *record);
    if (!status) {
        send_error(res, 404, "no such record");
        return;
    }
    send_json(res, 200, *status);
}

void get_received(const httplib::Request& req, httplib::Response& res) {
    std::string day = spool_date(real_clock().now());
    if (req.has_param("day")) {
        auto asked = spool_day(req.get_param_value("day"));
        if (!asked) {
            send_error(res, 400, "day must be a date such as 2026-1-31", "day");
            return;
        }
        day = *asked;
    }
    long after = 0;
    if (req.has_param("after")) {
        auto asked = small_number(req.get_param_value("after"));
        if (!asked) {
            send_error(res, 400, "after must be a record number (0 or more)", "after");
            return;
        }
        after = *asked;
    }
    send_json(res, 200, received_json(day, after));
}

} // namespace

void add_routes(httplib::Server& server, ListenerContext& context) {
    server.set_pre_routing_handler([&context](const httplib::Request& req, httplib::Response& res) {
        std::optional<std::string> name = token_name(context, req);
        if (!name) {
            res.set_header("WWW-Authenticate", "Bearer");
            send_error(res, 401, "a valid bearer token is needed (Authorization: Bearer TOKEN)");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!context.rate_limit.allow(*name)) {
            res.set_header("Retry-After", std::to_string(context.rate_limit.seconds_until_allowed(*name)));
            send_error(res, 429, "too many requests for this token");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([&context](const httplib::Request& req, const httplib::Response& res) {
        std::string remote = req.remote_addr.find(':') != std::string::npos
                                 ? "[" + req.remote_addr + "]:" + std::to_string(req.remote_port)
                                 : req.remote_addr + ":" + std::to_string(req.remote_port);
        context.access_log.write(token_name(context, req).value_or("-"), remote, req.method, req.path, res.status);
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            send_error(res, res.status,
                       res.status == 413   ? "the request body is too large"
                       : res.status == 404 ? "no such route"
                                           : "the request cannot be served");
        }
    });

    server.Post("/v1/messages", post_message);
    server.Get(R"(/v1/messages/([^/]+)/([^/]+))", get_message);
    server.Get("/v1/received", get_received);
    server.Get("/v1/status", [](const httplib::Request&, httplib::Response& res) {
        send_json(res, 200, report_json(current_gateway_report()));
    });
    server.Get("/metrics", [](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.set_content(report_metrics(current_gateway_report()), "text/plain; version=0.0.4; charset=utf-8");
    });
}
