#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The listener's own view of one HTTP exchange, so that the routes, the token check, the rate limit and
// the access log do not depend on the server library.

using HttpFields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method; // as sent, e.g. "GET"
    std::string path;   // the target's path, percent-decoded
    HttpFields query;   // the target's query parameters, decoded, in order
    HttpFields headers; // names as sent
    std::string body;
    std::string remote;       // "127.0.0.1:40000" or "[::1]:40000"
    std::string client = "-"; // the name of the request's token once it has been checked

    // The value of the first header called `name` (compared without case), or empty.
    std::string header(std::string_view name) const;
    // The value of the first query parameter called `name`, or nullopt.
    std::optional<std::string> param(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    HttpFields headers; // besides Content-Length and Connection, which the server sets
    std::string body;
    // A long poll: when set, this is no answer yet. The server asks `again` every moment (holding no
    // thread meanwhile) until it gives the answer or `wait_ms` have passed; then, or when the server
    // stops, it asks once more with `last` true, and that time it must answer.
    std::function<std::optional<HttpResponse>(bool last)> again;
    int wait_ms = 0;

    void set_header(std::string name, std::string value);
};

// The answers of the API: a JSON body ending in a newline, and errors as {"error": "...", "field": "..."}.
HttpResponse json_response(int status, const std::string& json_text);
HttpResponse error_response(int status, const std::string& error, const std::string& field = "");
