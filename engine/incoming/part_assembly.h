#pragma once

#include "engine/engine_context.h"
#include "modem/pdu/pdu_codec.h"
#include "store/held_parts.h"

#include <string>
#include <vector>

// Received long messages, which arrive as parts in any order (with long messages on). Every part is
// held on disk until its message is complete; then the message is stored as one received record.
// Parts whose message does not complete within a day are stored as they are, marked incomplete.

inline constexpr long long part_wait_seconds = 24 * 3600;

// Holds a received part in the engine's day. False when it could not be written: the part then stays
// in the modem and is read again.
[[nodiscard]] bool hold_received_part(EngineContext& ctx, const ReceivedMessage& part);

// A held message ready to be stored.
struct AssembledMessage {
    ReceivedMessage message; // the sender and the parts' texts in order
    bool complete = true;    // false: stored after the wait, with parts missing
    PartKey key;
};

// The messages of the engine's day and the day before that are complete, or have waited too long.
// Parts of a message already stored (a part that came twice) are dropped on the way.
std::vector<AssembledMessage> ready_messages(EngineContext& ctx);

// After the message was stored: marks it stored and removes its parts, in both days.
void release_message(EngineContext& ctx, const AssembledMessage& message);
