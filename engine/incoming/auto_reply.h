#pragma once

#include "engine/engine_context.h"

#include <string>

// Answers a received message that begins with '*': the text after the star (line breaks removed) is a
// query code, and the catalogue text stored under it is queued as a reply to the sender in today's
// spool. With members only, senders missing from the members file get nothing (the file may list a
// member's number in any of its forms: store/phone_number.h); senders that are not a phone number (an
// alphanumeric sender) never get a reply.
void on_demand_check(EngineContext& ctx, const std::string& text, const std::string& sender);

// Queues the reply to one query: the catalogue text for `code`, or the wrong-code text. A reply that
// cannot be written is tried again until it is (the engine waits meanwhile). Returns the record number.
long queue_reply(EngineContext& ctx, const std::string& code, const std::string& sender);

// Queues `text` to `sender` in today's spool by the clock (and, with the shared queue, its outbox),
// tried again until it is written; `what` names it in the trace. The day and the record number.
struct QueuedAnswer {
    std::string day;
    long record = -1;
};
QueuedAnswer queue_answer(EngineContext& ctx, const std::string& text, const std::string& sender, const char* what);
