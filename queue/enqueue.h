#pragma once

#include "platform/clock.h"
#include "store/record_files.h"
#include "store/spool.h"

#include <cstddef>
#include <string>
#include <vector>

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
    SharingFailed,
    UnsafeRecipients,  // refused_recipients() named some lines
    TooManyRecipients, // more than max_message_recipients
    ControlCharacters  // content_has_control_bytes()
};

struct EnqueueResult {
    EnqueueStatus status = EnqueueStatus::WriteFailed;
    long record = -1;                 // the record number when queued
    std::string day;                  // the day directory it went to
    int lock_error = 0;               // errno value of LockFailed
    std::string share_error;          // why the shared queue refused (SharingFailed), GBK
    std::vector<std::string> refused; // the lines of UnsafeRecipients, GBK, as typed
};

// The operator's message for a refusal (GBK), empty for Queued. For LockFailed it is a short form
// without the file and the reason; enqueue_result_text gives them.
std::string enqueue_status_text(EnqueueStatus status);

// "收信人太多..." with the limit, for every writer that counts recipients.
std::string too_many_recipients_text();

// The operator's message for a result (GBK), empty for Queued: for LockFailed it names the lock file
// and the system's reason, otherwise it is enqueue_status_text.
std::string enqueue_result_text(const EnqueueResult& result);

// The refusals enqueue_message makes before it takes the lock: the result's status is Queued when the
// message may be queued (nothing is written either way).
EnqueueResult check_message(const std::string& recipients_box, const std::string& content_gbk, bool english,
                            bool long_messages);

// Enqueue into today's spool (by `clock`). `recipients_box` holds the box text with CR LF line breaks,
// `content_gbk` the content box text; both GBK. A content must fit one message (70 Chinese characters,
// 160 septets of English), or with `long_messages` ten linked parts (670 and 1530); the record holds
// the whole text either way. Whatever the writer checked before, recipients that could name a file
// outside the address book, bad ranges, more than max_message_recipients and control bytes in the
// content are refused here, before the lock is taken.
// With `share`, the shared queue takes the record's rows before it becomes visible in the spool. The
// queue lock is waited for at most `lock_wait` (LockFailed with ETIMEDOUT after it).
[[nodiscard]] EnqueueResult enqueue_message(const std::string& recipients_box, const std::string& content_gbk,
                                            bool english, Clock& clock, bool long_messages = false,
                                            const RecordShare& share = {},
                                            std::chrono::milliseconds lock_wait = FileLock::default_wait);
