#pragma once

#include "engine/engine_context.h"
#include "engine/events/engine_events.h"

// Journals an event of the engine's passes; in tests without a journal, nothing.
inline void note_event(EngineContext& ctx, JournalEvent event) {
    if (ctx.events != nullptr) {
        ctx.events->note(std::move(event));
    }
}
