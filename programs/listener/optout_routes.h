#pragma once

#include "http_exchange.h"

#include <optional>

// The opt-out list (store/optout_list.h) over HTTP, behind the same token check as every route:
//   GET /v1/optout[?after=N]    {"count": C, "numbers": [{"number", "day", "keyword"}...], "next_after": M}
//                               at most 1000 entries from the list's position N on
//   POST /v1/optout             {"number": "13900000001"}: 201 added, 200 already there
//   DELETE /v1/optout/NUMBER    200 removed, 404 not on the list
// A number that is none is 400; a list another process holds longer than 5 s is 503 with Retry-After,
// one that cannot be read or written 500. nullopt: not an opt-out route.
std::optional<HttpResponse> answer_optout_request(const HttpRequest& request);
