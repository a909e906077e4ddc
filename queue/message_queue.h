#pragma once

#include "queue/shared_enqueue.h"

#include <memory>

// The one way a writer queues a message: into this directory's spool and, when server.txt names a
// database, into the shared queue's outbox as well. Which of the two is chosen once, when the queue is
// made; the writers (the compose tab, vmsms-send, the intake) call queue() and put its refusals in
// their own words.
class MessageQueue {
public:
    explicit MessageQueue(DbSettings settings);

    // With server.txt's [DB] section as it reads now.
    static std::unique_ptr<MessageQueue> from_server_settings();

    bool shared() const { return writer_ != nullptr; }
    const DbSettings& settings() const { return settings_; }
    // Whether `settings` name the same database and gateway this queue was made for.
    bool same_database(const DbSettings& settings) const;

    // enqueue_message, through the shared queue when there is one (its connection is kept between
    // messages and opened again after it was lost). `first` is the record's first share (an idempotency
    // key's hook, queue/keyed_enqueue.h), before the shared queue's rows.
    EnqueueResult queue(const std::string& recipients_box, const std::string& content_gbk, bool english, Clock& clock,
                        bool long_messages, std::chrono::milliseconds lock_wait = FileLock::default_wait,
                        const RecordShare& first = {});

private:
    DbSettings settings_;
    std::unique_ptr<SharedWriter> writer_;
};
