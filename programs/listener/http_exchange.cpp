#include "http_exchange.h"

#include <nlohmann/json.hpp>

#include <strings.h>

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (same_name(key, name)) {
            return value;
        }
    }
    return {};
}

std::optional<std::string> HttpRequest::param(std::string_view name) const {
    for (const auto& [key, value] : query) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

void HttpResponse::set_header(std::string name, std::string value) {
    for (auto& [key, old_value] : headers) {
        if (same_name(key, name)) {
            old_value = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

HttpResponse json_response(int status, const std::string& json_text) {
    HttpResponse response;
    response.status = status;
    response.set_header("Content-Type", "application/json; charset=utf-8");
    response.body = json_text + "\n";
    return response;
}

HttpResponse error_response(int status, const std::string& error, const std::string& field) {
    nlohmann::json body = {{"error", error}};
    if (!field.empty()) {
        body["field"] = field;
    }
    return json_response(status, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}
