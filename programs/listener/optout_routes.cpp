#include "optout_routes.h"

#include "platform/clock.h"
#include "platform/gbk.h"
#include "store/optout_list.h"
#include "store/phone_number.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <string>

namespace {

constexpr std::size_t most_listed_per_answer = 1000;
const std::string collection_path = "/v1/optout";
const std::string entry_prefix = "/v1/optout/";

HttpResponse send_json(int status, const nlohmann::json& body) {
    return json_response(status, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// A change that did not happen: the lock held too long, or the list unreadable or unwritable.
HttpResponse failed_change() {
    if (errno == ETIMEDOUT) {
        HttpResponse res =
            error_response(503, "the opt-out list is busy (its lock is held by another process); try again");
        res.set_header("Retry-After", "5");
        return res;
    }
    return error_response(500, "the opt-out list could not be read or written");
}

HttpResponse list_numbers(const HttpRequest& req) {
    std::size_t after = 0;
    if (auto asked = req.param("after")) {
        if (asked->empty() || asked->size() > 9 || asked->find_first_not_of("0123456789") != std::string::npos) {
            return error_response(400, "after must be a position in the list (0 or more)", "after");
        }
        after = std::stoul(*asked);
    }
    std::optional<OptOutList> list = read_optout_list();
    if (!list) {
        return error_response(500, "the opt-out list could not be read");
    }
    nlohmann::json numbers = nlohmann::json::array();
    std::size_t end = std::min(list->entries.size(), after + most_listed_per_answer);
    for (std::size_t i = after; i < end; ++i) {
        const OptOutEntry& entry = list->entries[i];
        numbers.push_back(
            {{"number", entry.number}, {"day", entry.day}, {"keyword", gbk_to_utf8_lossy(entry.keyword)}});
    }
    return send_json(200,
                     {{"count", list->entries.size()}, {"numbers", numbers}, {"next_after", std::max(end, after)}});
}

// {"number": "..."}: the number, or the refusal.
std::optional<std::string> body_number(const std::string& body, HttpResponse& refusal) {
    nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        refusal = error_response(400, "the body must be a JSON object such as {\"number\": \"13900000001\"}");
        return std::nullopt;
    }
    for (const auto& item : json.items()) {
        if (item.key() != "number") {
            refusal = error_response(400, "unknown field", item.key());
            return std::nullopt;
        }
    }
    auto number = json.find("number");
    if (number == json.end() || !number->is_string()) {
        refusal = error_response(400, "number must be a phone number (a string)", "number");
        return std::nullopt;
    }
    return number->get<std::string>();
}

HttpResponse add_number(const HttpRequest& req) {
    HttpResponse refusal;
    std::optional<std::string> number = body_number(req.body, refusal);
    if (!number) {
        return refusal;
    }
    switch (add_optout(*number, spool_date(real_clock().now()), manual_optout_keyword)) {
    case OptOutChange::Done:
        return send_json(201, {{"number", *canonical_number(*number, home_country())}, {"added", true}});
    case OptOutChange::AlreadyThere:
        return send_json(200, {{"number", *canonical_number(*number, home_country())}, {"added", false}});
    case OptOutChange::NotANumber:
        return error_response(400, "number must be a phone number (up to 12 digits, or + and up to 15)", "number");
    default:
        return failed_change();
    }
}

HttpResponse remove_number(const std::string& number) {
    switch (remove_optout(number)) {
    case OptOutChange::Done:
        return send_json(200, {{"number", *canonical_number(number, home_country())}, {"removed", true}});
    case OptOutChange::NotThere:
        return error_response(404, "the number is not on the opt-out list");
    case OptOutChange::NotANumber:
        return error_response(400, "not a phone number (up to 12 digits, or + and up to 15)");
    default:
        return failed_change();
    }
}

} // namespace

std::optional<HttpResponse> answer_optout_request(const HttpRequest& req) {
    bool get = req.method == "GET" || req.method == "HEAD";
    if (req.path == collection_path) {
        if (get) {
            return list_numbers(req);
        }
        if (req.method == "POST") {
            return add_number(req);
        }
        return error_response(405, "GET or POST");
    }
    if (req.path.compare(0, entry_prefix.size(), entry_prefix) == 0 && req.method == "DELETE") {
        return remove_number(req.path.substr(entry_prefix.size()));
    }
    return std::nullopt;
}
