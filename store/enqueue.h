#pragma once

#include "platform/clock.h"
#include "store/spool.h"

#include <cstddef>
#include <string>

// Queueing one message as the compose tab does it; `vmsms-send` goes through the same code.

// LockFailed: the day's queue lock could not be taken, so nothing was written (queueing without it could
// give two writers one record number).
// SharingFailed: the shared queue (the database) did not take the record, so it was not queued.
enum class EnqueueStatus {
    Queued,
    EmptyRecipients,
    EmptyContent,
    ContentTooLong,
    WriteFailed,
    LockFailed,
    SharingFailed
};

struct EnqueueResult {
    EnqueueStatus status = EnqueueStatus::WriteFailed;
    long record = -1;        // the record number when queued
    std::string day;         // the day directory it went to
    int lock_error = 0;      // errno value of LockFailed
    std::string share_error; // why the shared queue refused (SharingFailed), GBK
};

// The operator's message for a refusal (GBK), empty for Queued. For LockFailed it is a short form
// without the file and the reason; enqueue_result_text gives them.
std::string enqueue_status_text(EnqueueStatus status);

// The operator's message for a result (GBK), empty for Queued: for LockFailed it names the lock file
// and the system's reason, otherwise it is enqueue_status_text.
std::string enqueue_result_text(const EnqueueResult& result);

// The recipient box text as it is stored: every ';' becomes a line feed, unless the character two
// places after it is a line feed (a ';' that ends a line before the box's CR LF stays).
std::string recipients_for_file(const std::string& box_text);

// The content as the UTF-16 code units of its text, four upper-case hex digits each.
std::string content_ucs2_hex(const std::string& content_gbk);

// The stored content: English gets the kind byte 2 in front and three blanks behind.
std::string content_for_file(const std::string& content_gbk, bool english);

// Enqueue into today's spool (by `clock`). `recipients_box` holds the box text with CR LF line breaks,
// `content_gbk` the content box text; both GBK. A content must fit one message (70 Chinese characters,
// 160 septets of English), or with `long_messages` ten linked parts (670 and 1530); the record holds
// the whole text either way.
// With `share`, the shared queue takes the record's rows before it becomes visible in the spool.
[[nodiscard]] EnqueueResult enqueue_message(const std::string& recipients_box, const std::string& content_gbk,
                                            bool english, Clock& clock, bool long_messages = false,
                                            const RecordShare& share = {});
