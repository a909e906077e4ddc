#pragma once

#include "http_exchange.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <string>
#include <string_view>

// Between Boost.Beast's messages and the listener's own HttpRequest and HttpResponse.

using BeastRequest = boost::beast::http::request<boost::beast::http::string_body>;
using BeastResponse = boost::beast::http::response<boost::beast::http::string_body>;

// "127.0.0.1:40000", "[::1]:40000": a client's address as the access log writes it.
std::string remote_text(const boost::asio::ip::tcp::endpoint& remote);

// The method, path, query and headers of `message` into `request` (the body is left alone). False when
// the target is no path with an optional query, or the method is none the server knows.
bool read_request_head(const BeastRequest& message, HttpRequest& request);

// The number of header fields of `message`.
std::size_t header_lines(const BeastRequest& message);

// For the log of a request that could not be parsed: the first two words of its first line as they
// came (the query left out), each bounded.
void read_raw_request_line(std::string_view bytes, HttpRequest& request);

// `response` as Beast sends it: in HTTP `version` (11 for 1.1), with Content-Length and, unless
// `keep_alive`, "Connection: close"; for a HEAD request (`head_only`) without the body.
BeastResponse to_beast_response(HttpResponse&& response, unsigned version, bool keep_alive, bool head_only);
