#pragma once

#include "http_exchange.h"

#include <optional>

// GET /v1/events?after=ID&wait=SECONDS&limit=N: the journal's events after the one named by ID (an
// event's id, or its seq), oldest first; with no ID from the oldest event kept. With none there yet,
// the answer waits for one up to `wait` seconds (0 to 60, default 0: at once), holding no thread.
// {"events": [...], "next_after": "...", "more": bool}: next_after is what to ask after next time (the
// last event's id, or what was asked when nothing came); more says whether more are ready already.
// nullopt when the request is no such one.
std::optional<HttpResponse> answer_event_request(const HttpRequest& request);
