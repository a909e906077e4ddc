#pragma once

#include "engine/engine_context.h"
#include "engine/shared/shared_queue.h"

// The engine's sending through the shared queue, in place of the spool's send pass when server.txt
// names a database.

// Claims a batch of recipients from the outbox and sends each that is still this gateway's when its turn
// comes (the lease renewed just before), recording every outcome. Claims nothing while the modem's link
// is down or an earlier outcome is not recorded yet. Rows claimed and not sent when the engine stops are
// given back. Returns how many recipients were claimed.
int run_shared_send_pass(EngineContext& ctx, SharedQueue& queue);

// This directory's own records in the spool are its local copies: once the outbox has settled them
// (every recipient sent or failed, by any gateway) they are marked handled in send/acc, in order.
void settle_local_records(EngineContext& ctx, SharedQueue& queue, long queued);
