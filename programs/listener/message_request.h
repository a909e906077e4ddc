#pragma once

#include <cstddef>
#include <optional>
#include <string>

// POST /v1/messages: the JSON body {"to": [...], "text": "...", "english": false, "long": false}, checked
// by the rules of vmsms-send and queued through enqueue_message.

struct QueueOutcome {
    int status = 500;    // HTTP status: 201 queued, 400 refused, 500 not written, 503 queue busy or unavailable
    std::string day;     // when queued
    long record = -1;    // when queued
    std::string error;   // otherwise: what is wrong (UTF-8)
    std::string field;   // the JSON field it is about, or empty
    int retry_after = 0; // seconds for a Retry-After header (503), 0 for none
    // When queued and ./optout.txt exists: how many recipients are on it and get nothing (all of them
    // when the list cannot be read).
    std::optional<std::size_t> opted_out;
};

// `long_default` is what "long" means when the body leaves it out (LONGSMS of server.txt).
QueueOutcome queue_message_request(const std::string& body, bool long_default);
