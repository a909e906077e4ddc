#pragma once

#include "access_log.h"
#include "rate_limit.h"
#include "token_file.h"

#include <httplib.h>

#include <vector>

// What the request handlers share: the tokens read at start, the per-token rate limit, the access log.
struct ListenerContext {
    std::vector<TokenEntry> tokens;
    RateLimit rate_limit;
    AccessLog access_log;
};

// Authentication, rate limit and access log around every request, and the routes of the API.
void add_routes(httplib::Server& server, ListenerContext& context);
