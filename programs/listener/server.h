#pragma once

#include "listener_options.h"
#include "routes.h"

// Serves the API until SIGTERM or SIGINT, then lets the requests in hand finish. The signals must be
// blocked in the calling thread before any other thread is started (block_stop_signals), so that every
// worker inherits the mask and only this thread takes them. Returns the exit status: 0 after a stop,
// 1 when the server could not be set up or bound.
void block_stop_signals();
int serve(const ListenerOptions& options, ListenerContext& context);
