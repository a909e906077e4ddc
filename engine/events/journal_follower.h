#pragma once

#include "engine/events/engine_events.h"
#include "store/event_journal.h"
#include "store/journal_cursor.h"

#include <deque>
#include <optional>
#include <string>

// One reader of the event journal that keeps its place on disk (events/cursor-NAME.txt): after a
// restart it goes on after the last event it handled, so every event is handed over at least once.
// A follower without a cursor (or with one kept for another label) begins at the journal's end as it
// is now, and writes its cursor at once, so events journaled from then on are never skipped.
class JournalFollower {
public:
    JournalFollower(EngineEvents& events, std::string name, std::string label, TraceSink& trace);

    // The next event, waiting for one until the engine ends (nullopt then).
    std::optional<JournalEvent> next();
    // The event was handled: the cursor moves past it.
    void done(const JournalEvent& event);
    long long cursor() const { return cursor_.seq; }

private:
    EngineEvents& events_;
    JournalReader reader_;
    std::string name_;
    JournalCursor cursor_;
    JournalPosition at_;
    std::deque<JournalEvent> ahead_;
    TraceSink& trace_;
};
