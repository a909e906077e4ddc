#pragma once

#include <cstddef>
#include <optional>
#include <string>

// POST /v1/messages: the JSON body {"to": [...], "text": "...", "english": false, "long": false}, checked
// by the rules of vmsms-send and queued through enqueue_message.

struct QueueOutcome {
    int status = 500;    // HTTP status: 201 queued, 200 queued before under the key, 400 refused, 409 the key was
                         // used for another message, 500 not written, 503 queue busy or unavailable
    std::string day;     // when queued
    long record = -1;    // when queued
    std::string error;   // otherwise: what is wrong (UTF-8)
    std::string field;   // the JSON field it is about, or empty
    int retry_after = 0; // seconds for a Retry-After header (503), 0 for none
    // When queued and ./optout.txt exists: how many recipients are on it and get nothing (all of them
    // when the list cannot be read).
    std::optional<std::size_t> opted_out;
    bool replayed = false; // the first answer under the request's idempotency key, given again
};

// An Idempotency-Key and what it is kept with (queue/keyed_enqueue.h).
struct RequestKey {
    std::string writer;    // the keys' namespace: one per token
    std::string key;       // as the header gave it
    std::string body_hash; // SHA-256 (hex) of the raw body
};

// `long_default` is what "long" means when the body leaves it out (LONGSMS of server.txt). With `key`,
// the message is queued under it: the same key and body again answer the first record (200, replayed),
// another body 409.
QueueOutcome queue_message_request(const std::string& body, bool long_default, const RequestKey* key = nullptr);
