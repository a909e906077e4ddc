#pragma once

#include "store/db/db_settings.h"
#include "store/db/pg_connection.h"
#include "store/db/shared_connection.h"
#include "queue/enqueue.h"
#include "store/recipients.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Queueing into the shared queue: every writer (vmsms-send, the network intake, the compose tab, the
// engine's on-demand replies) still writes the record into its own spool, and the record's recipients
// go into the outbox in one transaction before the spool counter makes the record visible. A record the
// database did not take is not queued at all, so nothing is sent from files alone.

// A writer's connection (store/db/shared_connection.h), with its failures in the writers' words.
class SharedWriter {
public:
    explicit SharedWriter(DbSettings settings, int connect_timeout_seconds = 10)
        : connection_(std::move(settings), connect_timeout_seconds) {}
    const DbSettings& settings() const { return connection_.settings(); }
    // A live connection, or nullptr with error() saying why.
    PgConnection* connection();
    const std::string& error() const { return error_; }
    // The connection itself, for a program that reads and writes more than messages through it.
    SharedConnection& shared_connection() { return connection_; }

private:
    SharedConnection connection_;
    std::string error_;
};

// The most rows one message may give (number ranges are expanded).
inline constexpr std::size_t max_outbox_rows = max_message_recipients;

// A record's recipients as the gateway will send to them, in the engine's order: customers looked up in
// this directory, number ranges expanded, a line after '*' barred. A line that names no number is kept
// as it is (the gateway that claims it reports it failed). Nullopt when there would be more than
// `limit`.
std::optional<std::vector<std::string>> outbox_numbers(const std::string& recipients_file_text, std::size_t limit);

// The hook that gives a record's rows to the outbox (its customers are looked up when it is made):
// `recipients_file_text` and `content_file_text` as the record's files hold them (GBK).
RecordShare outbox_share(SharedWriter& writer, const std::string& recipients_file_text,
                         const std::string& content_file_text, bool long_message);

// enqueue_message through the shared queue. `first` (an idempotency key's hook) is called before the
// outbox takes the rows, and a refusal of it leaves them out.
EnqueueResult enqueue_shared(SharedWriter& writer, const std::string& recipients_box, const std::string& content_gbk,
                             bool english, Clock& clock, bool long_messages = false,
                             std::chrono::milliseconds lock_wait = FileLock::default_wait,
                             const RecordShare& first = {});

// The message body the outbox keeps for a record's content file (its first line, GBK, English with its
// kind byte): UTF-8 without the kind byte; and back.
std::string outbox_body(const std::string& content_line_gbk);
std::string content_line_from_outbox(const std::string& body_utf8, bool english);
