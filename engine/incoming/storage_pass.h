#pragma once

#include "engine/engine_context.h"

// The inbox pass over the modem's storages, in responsive mode with the storages chosen
// (modem/message_storage.h).

// Selects the first storage to read, which brings the counts of the first two; then lists every
// storage that holds messages, a full one first, and handles them as run_inbox_pass does. Returns how
// many new messages were handled.
int read_storages(EngineContext& ctx);

// At the top of every cycle in responsive mode: chooses the storages once after the port was opened,
// and when the modem said a storage is full, reads and deletes there before the cycle does anything
// else (with no storages chosen, the modem's listing is read).
void prepare_inbox(EngineContext& ctx);
