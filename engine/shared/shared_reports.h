#pragma once

#include "engine/engine_context.h"
#include "engine/shared/shared_queue.h"

struct SentReference;

// What this gateway receives and learns, kept in the shared queue's tables beside its spool.

// Received messages go into the inbox table, oldest first, each once (a message that could not go there
// yet is taken at a later cycle).
void share_received(EngineContext& ctx, SharedQueue& queue);

// A delivery report goes into the delivery table, tied to the outbox row this gateway sent (the day's
// delivery log line stays the local record of it).
void share_delivery(EngineContext& ctx, SharedQueue& queue, const SentReference& sent, int status, const char* word);
