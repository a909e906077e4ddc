#pragma once

#include "queue/enqueue.h"
#include "store/spool.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// Queueing with an idempotency key, so that a writer trying again after a time-out queues a message once.
//
// Everything happens under the writer's key lock (idempotency/<writer>.lock, taken before the day's queue
// lock and held to the end, so two attempts with one key never run side by side, not even across
// midnight). A key younger than 48 h whose record is queued and still holds what was written is:
//  - a repeat when the message hash is the same: nothing is queued, and the first day, record and answer
//    are given back;
//  - the key of another message when it is not: nothing is queued.
// Any other key (none, an expired one, or a stale one: its record was never made visible, or its number
// went to another message after a failure) lets the message be queued. Then, under the day's queue lock,
// once the record's files are written and before the counter makes the record visible, the key line
// naming the record is written (before the shared queue's rows too). A key that cannot be written leaves
// the message unqueued; a failure after it leaves a stale key, which the next attempt sees as stale.

enum class KeyedStatus {
    Queued,         // queued now, the key kept
    Repeat,         // queued before under this key: result.day and result.record name it
    OtherMessage,   // the key was used for another message; nothing queued
    NotQueued,      // enqueue refused or failed: result says why
    BadKey,         // the key, the writer's name, the hash or the answer is not one the store keeps
    KeyLockFailed,  // the key lock could not be taken (result.lock_error): nothing queued
    KeyStoreFailed, // the keys could not be read or written, or there are too many: nothing queued
};

struct KeyedMessage {
    std::string writer;       // the key's namespace: valid_key_writer
    std::string key;          // valid_idempotency_key
    std::string message_hash; // SHA-256 (hex) of the message as the writer received it
    std::string answer = "-"; // a word to answer a repeat with (no blanks, at most 32 characters)
};

struct KeyedResult {
    KeyedStatus status = KeyedStatus::KeyStoreFailed;
    EnqueueResult result; // Queued and NotQueued: as enqueue gave it; Repeat: day and record of the first
    std::string answer;   // Repeat: the answer kept with the key
    std::string error;    // KeyLockFailed and KeyStoreFailed: why (English, ASCII)
};

// Queues the message through enqueue_message, MessageQueue::queue or enqueue_shared: given the hook,
// it must pass it on as the record's first share.
using KeyedQueueing = std::function<EnqueueResult(const RecordShare& keep_key)>;

KeyedResult queue_with_key(const KeyedMessage& message, Clock& clock, const KeyedQueueing& queue,
                           std::chrono::milliseconds lock_wait = FileLock::default_wait);

// SHA-256 (hex) over a queued record's header, content and recipients (a bar's '*' before them left
// out), or nullopt when one of its files is missing.
std::optional<std::string> record_fingerprint(const std::string& day, long record);

// The operator's message for a result that is neither Queued nor Repeat (GBK).
std::string keyed_result_text(const KeyedResult& result);
