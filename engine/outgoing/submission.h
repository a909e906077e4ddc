#pragma once

#include "engine/engine_context.h"
#include "modem/pdu/pdu_codec.h"
#include "store/customer_lookup.h"

#include <string>
#include <vector>

// The longest national number the submission accepts (an international one may take 16 characters).
inline constexpr std::size_t max_phone_length = 12;


// What became of one recipient: sent, and the modem's word on it ("sent", its final result code, "no
// answer"), or why nothing could be sent (UTF-8). The shared queue records it.
struct RecipientOutcome {
    bool sent = false;
    std::string result = "not sent";
};

// Delivers one record's content to one recipient: resolves the number, builds the submit PDU, sends it
// (up to six attempts with the retry option), and reports the outcome to the report logs and the
// monitor.
RecipientOutcome submit_to_recipient(EngineContext& ctx, const std::string& recipient, const UserData& content,
                                     long record, int index);
// A content in several parts (a long message): every part goes, in order, under one concatenation
// reference; the recipient has one report line and one success monitor line, which say "(N条)".
RecipientOutcome submit_to_recipient(EngineContext& ctx, const std::string& recipient,
                                     const std::vector<UserData>& parts, long record, int index);

// A recipient nothing can be sent to (a number too long, a range that names no numbers): one failure
// report line and one failure monitor line that says why (`why`, UTF-8), with no modem traffic.
RecipientOutcome report_unsendable(EngineContext& ctx, long record, int index, const std::string& recipient,
                                   const char* why);
