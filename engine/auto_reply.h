#pragma once

#include "engine/engine_context.h"

#include <string>

// Answers a received message that begins with '*': the text after the star (line breaks removed) is a
// query code, and the catalogue text stored under it is queued as a reply to the sender in today's
// spool. With members only, senders missing from the members file get nothing.
void on_demand_check(EngineContext& ctx, const std::string& text, const std::string& sender);

// Queues the reply to one query: the catalogue text for `code`, or the wrong-code text. Returns the
// record number, or -1 when it could not be written.
long queue_reply(EngineContext& ctx, const std::string& code, const std::string& sender);
