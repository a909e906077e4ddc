#pragma once

#include "access_log.h"
#include "http_exchange.h"
#include "rate_limit.h"
#include "token_file.h"

#include <optional>
#include <vector>

// What the request handlers share: the tokens read at start, the per-token rate limit, the access log.
struct ListenerContext {
    std::vector<TokenEntry> tokens;
    RateLimit rate_limit;
    AccessLog access_log;
};

// Checked once a request's headers are in, before its body is read: the bearer token (401 with
// WWW-Authenticate without a valid one) and the token's rate limit (429 with Retry-After). Sets
// `request.client` to the token's name when it is valid. nullopt: the request may go on.
std::optional<HttpResponse> admit_request(ListenerContext& context, HttpRequest& request);

// The answer of the API to an admitted request with its body.
HttpResponse answer_request(const HttpRequest& request);

// One line of the access log for an answered request.
void log_request(ListenerContext& context, const HttpRequest& request, int status);
