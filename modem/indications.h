#pragma once

#include "engine/engine_context.h"

// New-message indications and idling, for the responsive mode.

// How long the engine idles, at most, before it lists the modem's messages again: the fall-back for
// modems that announce nothing.
inline constexpr int poll_interval_ms = 1000;

// At the top of every cycle: in responsive mode, asks the modem once to announce every new message
// ("+CMTI:"); when the mode was switched off, asks it to stop. Nothing is sent while the mode stays
// off.
void sync_indications(EngineContext& ctx);

// Responsive mode with nothing to send and nothing received: waits until the modem sends something
// (a new message announced), a record is queued, the day changes, or the polling interval passes.
void wait_for_work(EngineContext& ctx);
