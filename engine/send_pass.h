#pragma once

#include "engine/engine_context.h"

// Sends record k of the engine's day: the first line of its content to every recipient of its
// recipient file, in order, then marks it processed in send/acc.
void process_record(EngineContext& ctx, long k);

// Sends records processed+1 .. queued in order, then writes `queued` to send/acc (so a processed counter
// above the queued one is set back).
void run_send_pass(EngineContext& ctx, long processed, long queued);
