#pragma once

#include "http_exchange.h"
#include "message_request.h"

// POST /v1/messages with its Idempotency-Key header, when it has one: the key (1 to 255 printable ASCII
// characters, one header only, else 400) is kept per token, with the SHA-256 of the raw body. Without
// the header the message is queued as it always was.
QueueOutcome queue_posted_message(const HttpRequest& request, bool long_default);

// The keys' namespace of a token: no token shares it with another, nor with vmsms-send.
std::string token_key_writer(const std::string& token_name);
