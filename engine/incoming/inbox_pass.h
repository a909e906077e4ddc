#pragma once

#include "engine/engine_context.h"

#include <string>

// Reads the modem's whole message listing (at+cmgl=4) and drops bytes outside the listing's character
// set. With fixed waits it waits before every chunk and skips a chunk equal to the one before; in
// responsive mode it reads up to the final result code (or 10 s without a byte) and takes out the lines
// the modem sent unasked. Either way the modem is reset with "at" when the listing holds no "OK". A
// listing past the byte limit of the options, a line that broke, or a modem that answers neither the
// listing nor the reset leaves the link marked down and gives an empty listing.
std::string read_listing(EngineContext& ctx);

// One inbox pass: every message of the listing is decoded, stored as the next received record of the
// engine's day, answered when it is a query, logged, shown, and deleted from the modem. When the link
// is down the pass ends once it is back; messages not yet stored stay in the modem. In responsive mode
// with the modem's storages chosen every storage is read (engine/incoming/storage_pass.h). Returns how
// many new messages were handled.
int run_inbox_pass(EngineContext& ctx);

// Lists the storage the modem reads now (named `storage`, "" when the modem lists without AT+CPMS) and
// handles its messages as run_inbox_pass does. A message stored before whose delete the modem refused
// is deleted again, not stored twice. Returns how many new messages were handled, or -1 when the link
// went down before the listing came (it is back by then).
int read_storage_messages(EngineContext& ctx, const std::string& storage);
