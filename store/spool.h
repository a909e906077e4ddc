#pragma once

#include "platform/file_lock.h"

#include "platform/clock.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// The per-day message spool: {day}/new, {day}/send, {day}/recv, {day}/qury under the working directory.
// Records are H{n} (header), DA{n} (content) and R{n} (recipients or sender); `acc` files count them.
// All file texts are GBK, written and read in text mode.

enum class SpoolDir { New, Send, Recv };

const char* spool_dir_name(SpoolDir dir);

// "{day}/{dir}/{name}{n}", or "{day}/{dir}/{name}" when n < 0.
std::string spool_path(const std::string& day, SpoolDir dir, const std::string& name, long n = -1);
std::string counter_path(const std::string& day, SpoolDir dir);

// Creates the day directory and its four subdirectories; existing ones are no error.
void ensure_day_dirs(const std::string& day);

// The counter's first line (at most `max_chars` characters) as a decimal number, or nullopt when the
// file is missing. The list views read with 8 characters, everyone else with 9.
std::optional<long> read_counter_text(const std::string& path, std::size_t max_chars = 9);

// The counter as the engine and the writers read it: missing or below 1 gives 0.
long read_counter(const std::string& day, SpoolDir dir);

// Replaces the counter atomically with the decimal value, no line end.
[[nodiscard]] bool write_counter(const std::string& day, SpoolDir dir, long value);

// The lock every writer of {day}/new/acc holds from reading the counter to writing it.
std::string queue_lock_path(const std::string& day);

// The six header lines of a queued record, and the five of a received one.
std::string outgoing_header(const std::string& date_time);
std::string incoming_header(const std::string& date_time);

// Failures of queue_outgoing_record. Both are below 0, so `n < 0` tells any failure.
inline constexpr long record_not_written = -1; // a record file or the counter could not be written
inline constexpr long queue_not_locked = -2;   // the queue lock could not be taken; nothing was written
inline constexpr long record_not_shared = -3;  // the record's files are written but `share` refused it

// Called under the queue lock once a record's files are written and before the counter makes it
// visible: the shared queue takes the record's rows then. False (with `why`) leaves the record unqueued.
using RecordShare = std::function<bool(const std::string& day, long record, std::string& why)>;

// Queues one outgoing record: under the queue lock, n = queued counter + 1, then R{n} (one retry after
// 10 ms), H{n}, DA{n}, and the counter last. `recipients` and `content` are written as given (text
// mode). Returns n, record_not_written when a record file could not be written (the counter is then not
// raised), or queue_not_locked when the lock could not be taken: writing without it could give two
// writers the same number, so nothing is written. `lock_error` then receives the errno value (ETIMEDOUT
// when another holder kept it past `lock_wait`). With
// `share`, record_not_shared when it refused (`share_error` then says why).
[[nodiscard]] long queue_outgoing_record(const std::string& day, const std::string& recipients,
                                         const std::string& date_time, const std::string& content, Clock& clock,
                                         int* lock_error = nullptr, const RecordShare& share = {},
                                         std::string* share_error = nullptr,
                                         std::chrono::milliseconds lock_wait = FileLock::default_wait);

// Called by store_incoming_record with the number the record is about to take, under the lock that keeps
// the number its own and before any of the record's files is written: what must be on disk before the
// record (its received keys, engine/incoming/received_once.h) is written then. False: nothing is stored.
using RecordNumberNote = std::function<bool(long record)>;
inline constexpr long record_note_refused = -2;

// Stores one received message: n = received counter + 1, then R{n} (sender), DA{n} (text), H{n}, and the
// counter last, so a reader that trusts the counter finds all three files. The engines of a pool store
// one record at a time in the whole process. Returns n, -1 when a file could not be written (the
// counter is then not raised), or record_note_refused when `before` refused (nothing written).
[[nodiscard]] long store_incoming_record(const std::string& day, const std::string& sender, const std::string& text,
                                         const std::string& date_time, const RecordNumberNote& before = {});

struct RecordTexts {
    std::optional<std::string> header;
    std::optional<std::string> content;
    std::optional<std::string> recipients;
};

// The three files of record n in text mode; a missing file gives nullopt.
RecordTexts read_record(const std::string& day, SpoolDir dir, long n);

// The header's `time` value as the lists read it (room for 19 characters), or nullopt.
std::optional<std::string> read_record_time(const std::string& day, SpoolDir dir, long n);

// Changes of a pending record of {day}/new. Each replaces one file whole and atomically: the engine may
// be reading it at that moment and must see the old text or the new one, never an empty file.
[[nodiscard]] bool rewrite_recipients(const std::string& day, long n, const std::string& recipients);
[[nodiscard]] bool rewrite_content(const std::string& day, long n, const std::string& content);
// Bars the record from sending: R{n} becomes '*' followed by `recipients` (the pending tab keeps the
// operator's edits behind the star), or by its own text when none are given. False when R{n} is missing.
[[nodiscard]] bool bar_record(const std::string& day, long n,
                              const std::optional<std::string>& recipients = std::nullopt);
