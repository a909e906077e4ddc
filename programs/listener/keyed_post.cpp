#include "keyed_post.h"

#include "queue/digest.h"
#include "queue/idempotency_keys.h"

#include <strings.h>

namespace {

constexpr const char* key_header = "Idempotency-Key";

QueueOutcome bad_key(const std::string& error) {
    QueueOutcome outcome;
    outcome.status = 400;
    outcome.error = error;
    return outcome;
}

} // namespace

std::string token_key_writer(const std::string& token_name) {
    return "token-" + token_name;
}

QueueOutcome queue_posted_message(const HttpRequest& request, bool long_default) {
    const std::string* key = nullptr;
    for (const auto& [name, value] : request.headers) {
        if (::strcasecmp(name.c_str(), key_header) != 0) {
            continue;
        }
        if (key) {
            return bad_key("one Idempotency-Key header only");
        }
        key = &value;
    }
    if (!key) {
        return queue_message_request(request.body, long_default);
    }
    if (!valid_idempotency_key(*key)) {
        return bad_key("Idempotency-Key must be 1 to 255 printable ASCII characters");
    }
    std::string writer = token_key_writer(request.client);
    std::optional<std::string> body_hash = sha256_hex(request.body);
    if (!valid_key_writer(writer) || !body_hash) {
        QueueOutcome outcome;
        outcome.error = "not queued: no idempotency key can be kept for this token";
        return outcome; // 500
    }
    RequestKey request_key{writer, *key, *body_hash};
    return queue_message_request(request.body, long_default, &request_key);
}
