#include "beast_exchange.h"

#include <boost/url/parse.hpp>

#include <algorithm>
#include <array>

namespace http = boost::beast::http;

namespace {

// The methods a request may have; any other is a bad request. Known methods without a route are 404.
constexpr std::array<std::string_view, 10> known_methods = {"GET",     "HEAD",    "POST",  "PUT",   "DELETE",
                                                            "CONNECT", "OPTIONS", "TRACE", "PATCH", "PRI"};

constexpr std::size_t raw_method_bytes = 32;
constexpr std::size_t raw_path_bytes = 1024;

} // namespace

std::string remote_text(const boost::asio::ip::tcp::endpoint& remote) {
    std::string address = remote.address().to_string();
    std::string port = std::to_string(remote.port());
    return remote.address().is_v6() ? "[" + address + "]:" + port : address + ":" + port;
}

bool read_request_head(const BeastRequest& message, HttpRequest& request) {
    std::string_view method = message.method_string();
    request.method = std::string(method);
    std::string_view target = message.target();
    auto url = boost::urls::parse_origin_form(boost::urls::string_view(target.data(), target.size()));
    if (!url) {
        request.path = std::string(target.substr(0, target.find('?')));
        return false;
    }
    request.path = url->path();
    if (std::find(known_methods.begin(), known_methods.end(), method) == known_methods.end()) {
        return false;
    }
    for (auto param : url->params()) {
        request.query.emplace_back(std::move(param.key), std::move(param.value));
    }
    for (const auto& field : message) {
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    return true;
}

std::size_t header_lines(const BeastRequest& message) {
    return static_cast<std::size_t>(std::distance(message.begin(), message.end()));
}

void read_raw_request_line(std::string_view bytes, HttpRequest& request) {
    std::string_view line = bytes.substr(0, bytes.find_first_of("\r\n"));
    std::size_t blank = line.find(' ');
    request.method = std::string(line.substr(0, std::min(blank, raw_method_bytes)));
    if (blank == std::string_view::npos) {
        return;
    }
    std::string_view target = line.substr(blank + 1);
    target = target.substr(0, target.find(' '));
    target = target.substr(0, target.find('?'));
    request.path = std::string(target.substr(0, raw_path_bytes));
}

BeastResponse to_beast_response(HttpResponse&& response, unsigned version, bool keep_alive, bool head_only) {
    BeastResponse message(static_cast<http::status>(response.status), version);
    for (auto& [name, value] : response.headers) {
        message.set(name, value);
    }
    message.keep_alive(keep_alive);
    if (head_only) {
        message.content_length(response.body.size());
    } else {
        message.body() = std::move(response.body);
        message.prepare_payload();
    }
    return message;
}
