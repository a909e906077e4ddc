#pragma once

#include "engine/engine_context.h"
#include "modem/pdu/pdu_codec.h"

#include <optional>
#include <string>
#include <vector>

// A record's content line (GBK, English with its kind byte) as the engine sends it: cut to one message,
// or with `long_messages` in as many parts as it needs (ten at most). Sets the state's content for the
// report lines.
std::vector<UserData> encode_content_line(EngineContext& ctx, const std::string& line, long k, bool long_messages);

// Record k's content as the engine sends it: the first line of at most 1023 bytes, encoded and cut to
// one message; with long messages on, the whole first line in as many parts as it needs (ten at most).
// nullopt when its content file is gone.
std::optional<std::vector<UserData>> encode_content(EngineContext& ctx, long k);

// Sends record k of the engine's day: the first line of its content to every recipient of its
// recipient file, in order, then marks it processed in send/acc.
void process_record(EngineContext& ctx, long k);

// Sends records processed+1 .. queued in order, then writes `queued` to send/acc (so a processed counter
// above the queued one is set back).
void run_send_pass(EngineContext& ctx, long processed, long queued);

// In the quiet hours: the on-demand replies queued among records processed+1..queued that have not
// gone yet, each sent now and noted, so the send pass passes over it later.
void send_replies_early(EngineContext& ctx, long processed, long queued);
