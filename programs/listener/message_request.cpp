#include "message_request.h"

#include "platform/clock.h"
#include "platform/gbk.h"
#include "queue/enqueue.h"
#include "queue/keyed_enqueue.h"
#include "queue/message_queue.h"
#include "queue/opted_out.h"
#include "store/box_text.h"
#include "store/content_size.h"
#include "store/recipients.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Each serving thread keeps its own queue, and with the shared queue on its own connection to it.
MessageQueue& thread_queue() {
    thread_local std::unique_ptr<MessageQueue> queue = MessageQueue::from_server_settings();
    return *queue;
}

QueueOutcome refuse(const std::string& error, const std::string& field) {
    QueueOutcome outcome;
    outcome.status = 400;
    outcome.error = error;
    outcome.field = field;
    return outcome;
}

std::string quoted_list(const std::vector<std::string>& lines_gbk) {
    std::string list;
    for (const std::string& line : lines_gbk) {
        list += (list.empty() ? "\"" : ", \"") + gbk_to_utf8_lossy(line) + "\"";
    }
    return list;
}

std::string unsendable_text(const std::vector<std::string>& lines_gbk) {
    return "not a phone number, a number range or an address-book customer: " + quoted_list(lines_gbk);
}

std::string too_long_text(const std::string& content_gbk, bool english, bool long_messages) {
    ContentSize size = content_size(content_gbk, english);
    int most = most_content_characters(english, long_messages);
    std::string unit = english ? " GSM characters (extension characters count two)" : " characters";
    std::string text = "text takes " + std::to_string(size.characters) + unit + "; " +
                       (long_messages ? "a long message holds " : "one message holds ") + std::to_string(most);
    if (!long_messages) {
        text += "; send longer text with \"long\": true";
    }
    return text;
}

// A parsed message as it goes to the queue (GBK).
struct ParsedMessage {
    std::string recipients_gbk;
    std::string content_gbk;
    bool english = false;
    bool long_messages = false;
};

std::optional<std::size_t> opted_out_now(const std::string& recipients_gbk) {
    if (OptedOutCount count = count_opted_out(recipients_gbk); count.list_present) {
        return count.opted_out;
    }
    return std::nullopt;
}

QueueOutcome queued(int status, const EnqueueResult& result, std::optional<std::size_t> opted_out) {
    QueueOutcome outcome;
    outcome.status = status;
    outcome.day = result.day;
    outcome.record = result.record;
    outcome.opted_out = opted_out;
    return outcome;
}

QueueOutcome failed(int status, const std::string& error, int retry_after = 0) {
    QueueOutcome outcome;
    outcome.status = status;
    outcome.error = error;
    outcome.retry_after = retry_after;
    return outcome;
}

// The answer for a message enqueue did not queue.
QueueOutcome not_queued(const EnqueueResult& result, const ParsedMessage& message) {
    switch (result.status) {
    case EnqueueStatus::Queued:
        break;
    case EnqueueStatus::EmptyRecipients:
        return refuse("no recipient", "to");
    case EnqueueStatus::EmptyContent:
        return refuse("text is empty", "text");
    case EnqueueStatus::ContentTooLong:
        return refuse(too_long_text(message.content_gbk, message.english, message.long_messages), "text");
    case EnqueueStatus::UnsafeRecipients:
        return refuse(unsendable_text(result.refused), "to");
    case EnqueueStatus::TooManyRecipients:
        return refuse("more than " + std::to_string(max_message_recipients) +
                          " recipients (a number range counts each of its numbers)",
                      "to");
    case EnqueueStatus::ControlCharacters:
        return refuse("text holds control characters (only line breaks may be in it)", "text");
    case EnqueueStatus::LockFailed: {
        // Another process holds the queue: the client tries again shortly, and nothing was queued.
        QueueOutcome outcome;
        outcome.status = 503;
        outcome.retry_after = 5;
        outcome.error = "not queued: the queue is busy (its lock is held by another process); try again";
        return outcome;
    }
    case EnqueueStatus::WriteFailed:
        break;
    case EnqueueStatus::SharingFailed: {
        // The database is down or refused: nothing was queued, and the client may try again later. Why goes
        // to the listener's own output alone: where the database is, and as whom, is no client's business.
        std::fprintf(stderr, "vmsms-listener: not queued: %s\n", gbk_to_utf8_lossy(result.share_error).c_str());
        QueueOutcome outcome;
        outcome.status = 503;
        outcome.error = "not queued: the shared queue is unavailable; try again later";
        return outcome;
    }
    }
    QueueOutcome outcome;
    outcome.status = 500;
    outcome.error = "not queued: " + gbk_to_utf8_lossy(enqueue_result_text(result));
    return outcome;
}

// The answer kept with a key: the opted-out count of the first answer, or "-".
std::string answer_word(const std::optional<std::size_t>& opted_out) {
    return opted_out ? std::to_string(*opted_out) : "-";
}

std::optional<std::size_t> opted_out_of(const std::string& answer) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(answer.data(), answer.data() + answer.size(), value);
    if (error != std::errc() || end != answer.data() + answer.size()) {
        return std::nullopt;
    }
    return value;
}

QueueOutcome queue_keyed(const RequestKey& key, const ParsedMessage& message) {
    // Counted before the record is queued, so that a repeat answers what the first answer said.
    std::optional<std::size_t> opted_out = opted_out_now(message.recipients_gbk);
    KeyedMessage keyed{key.writer, key.key, key.body_hash, answer_word(opted_out)};
    KeyedResult result = queue_with_key(keyed, real_clock(), [&](const RecordShare& keep_key) {
        return thread_queue().queue(message.recipients_gbk, message.content_gbk, message.english, real_clock(),
                                    message.long_messages, FileLock::default_wait, keep_key);
    });
    switch (result.status) {
    case KeyedStatus::Queued:
        return queued(201, result.result, opted_out);
    case KeyedStatus::Repeat: {
        QueueOutcome outcome = queued(200, result.result, opted_out_of(result.answer));
        outcome.replayed = true;
        return outcome;
    }
    case KeyedStatus::OtherMessage:
        return failed(409, "Idempotency-Key was used for another message within 48 hours; nothing was queued");
    case KeyedStatus::NotQueued:
        return not_queued(result.result, message);
    case KeyedStatus::BadKey:
        return refuse("Idempotency-Key must be 1 to 255 printable ASCII characters", "");
    case KeyedStatus::KeyLockFailed:
        return failed(503, "not queued: the idempotency keys of this token are busy; try again", 5);
    case KeyedStatus::KeyStoreFailed:
        break;
    }
    std::fprintf(stderr, "vmsms-listener: not queued: %s\n", result.error.c_str());
    return failed(500, "not queued: its idempotency key could not be kept (" + result.error + ")");
}

} // namespace

QueueOutcome queue_message_request(const std::string& body, bool long_default, const RequestKey* request_key) {
    nlohmann::json request = nlohmann::json::parse(body, nullptr, false);
    if (request.is_discarded()) {
        return refuse("the body is not JSON (UTF-8)", "");
    }
    if (!request.is_object()) {
        return refuse("the body must be a JSON object", "");
    }
    for (const auto& item : request.items()) {
        const std::string& key = item.key();
        if (key != "to" && key != "text" && key != "english" && key != "long") {
            return refuse("unknown field \"" + key + "\"", key);
        }
    }
    bool english = false;
    bool long_messages = long_default;
    for (const char* flag : {"english", "long"}) {
        if (!request.contains(flag)) {
            continue;
        }
        if (!request[flag].is_boolean()) {
            return refuse(std::string(flag) + " must be true or false", flag);
        }
        (std::string(flag) == "english" ? english : long_messages) = request[flag].get<bool>();
    }
    if (!request.contains("to") || !request["to"].is_array() || request["to"].empty()) {
        return refuse("to must be a non-empty list of recipients (strings)", "to");
    }
    std::vector<std::string> recipients;
    for (const auto& recipient : request["to"]) {
        if (!recipient.is_string()) {
            return refuse("to must be a list of strings", "to");
        }
        std::string line = recipient.get<std::string>();
        if (line.find_first_of("\r\n") != std::string::npos) {
            return refuse("a recipient is one line", "to");
        }
        recipients.push_back(line);
    }
    if (!request.contains("text") || !request["text"].is_string()) {
        return refuse("text must be a string", "text");
    }
    auto recipients_gbk = utf8_to_gbk(box_lines(recipients));
    if (!recipients_gbk) {
        return refuse("a recipient holds characters GBK cannot hold", "to");
    }
    auto content_gbk = utf8_to_gbk(box_text(request["text"].get<std::string>()));
    if (!content_gbk) {
        return refuse("text holds characters GBK cannot hold", "text");
    }
    std::vector<std::string> unsendable = unsendable_recipients(*recipients_gbk);
    if (!unsendable.empty()) {
        return refuse(unsendable_text(unsendable), "to");
    }
    if (box_recipient_lines(*recipients_gbk).empty()) {
        return refuse("no recipient", "to");
    }
    if (request_key) {
        return queue_keyed(*request_key, {*recipients_gbk, *content_gbk, english, long_messages});
    }
    EnqueueResult result = thread_queue().queue(*recipients_gbk, *content_gbk, english, real_clock(), long_messages);
    if (result.status == EnqueueStatus::Queued) {
        return queued(201, result, opted_out_now(*recipients_gbk));
    }
    return not_queued(result, {*recipients_gbk, *content_gbk, english, long_messages});
}
