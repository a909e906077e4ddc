#pragma once

#include "engine/engine_context.h"
#include "modem/pdu/pdu_codec.h"
#include "store/held_parts.h"
#include "store/spool.h"

#include <optional>
#include <string>
#include <string_view>

// A message the modem hands over again (listed twice, listed again after its delete, or still in the
// modem after a crash between storing and deleting it) is stored, answered, logged and hooked once: the
// key of every received message is noted (store/received_keys.h) before it is stored, and a listed
// message whose key the engine's day or the day before knows is only deleted from the modem.

// The key of a listed SMS-DELIVER: its sender's type and digits, its service centre time stamp and its
// user data, "<type><digits>/<time stamp>/<length><user data>" in upper-case hex. Nothing for a line
// that is no whole SMS-DELIVER (a status report, a stored outgoing message, a damaged line): such a line
// is handled as it always was.
std::optional<std::string> received_key(std::string_view pdu_line);

// Whether the message listed at `index` was stored before, or is a part held already (or of a message
// stored already); says so in one trace line.
bool received_before(EngineContext& ctx, const std::string& index, const std::string& pdu_line);

// What notes the key of a listed message for the record number it is about to take, for
// store_incoming_record to run under its lock: the number is taken, its key noted and the record stored
// in one step, so the engines of a pool never name the same number. The note is false when the key
// could not be written (traced): the message is then left in the modem for the next pass. A day whose
// keys are at their bound takes no more, and the message is stored without one.
RecordNumberNote received_note(EngineContext& ctx, const std::string& pdu_line);

// Notes the key of a part of a long message before it is held, as note_received does.
[[nodiscard]] bool note_held_part(EngineContext& ctx, const std::string& pdu_line, const ReceivedMessage& part);

enum class AssembledNote {
    Store,        // store the message, with `note` (a key that cannot be written keeps the parts held)
    StoredBefore, // stored already (a crash came before its parts were released): only release them
};

// Before the message of held parts `key` is stored: whether it was stored before, and else `note`, which
// notes the keys its parts were held under for the record number it takes (as received_note).
[[nodiscard]] AssembledNote note_assembled(EngineContext& ctx, const PartKey& key, RecordNumberNote& note);
