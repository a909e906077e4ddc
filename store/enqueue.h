#pragma once

#include "platform/clock.h"

#include <string>

// Queueing one message as the compose tab does it; `vmsms-send` goes through the same code.

enum class EnqueueStatus { Queued, EmptyRecipients, EmptyContent, ContentTooLong, WriteFailed };

struct EnqueueResult {
    EnqueueStatus status = EnqueueStatus::WriteFailed;
    long record = -1; // the record number when queued
    std::string day;  // the day directory it went to
};

// The operator's message for a refusal (GBK), empty for Queued.
std::string enqueue_status_text(EnqueueStatus status);

// The recipient box text as it is stored: every ';' becomes a line feed, unless the character two
// places after it is a line feed (a ';' that ends a line before the box's CR LF stays).
std::string recipients_for_file(const std::string& box_text);

// The content as the UTF-16 code units of its text, four upper-case hex digits each.
std::string content_ucs2_hex(const std::string& content_gbk);

// The stored content: English gets the kind byte 2 in front and three blanks behind.
std::string content_for_file(const std::string& content_gbk, bool english);

// Enqueue into today's spool (by `clock`). `recipients_box` holds the box text with CR LF line breaks,
// `content_gbk` the content box text; both GBK.
EnqueueResult enqueue_message(const std::string& recipients_box, const std::string& content_gbk, bool english,
                              Clock& clock);
