#pragma once

#include "engine/events/journal_follower.h"
#include "engine/report/event_hooks.h"

#include <memory>
#include <thread>

// Hands the journal's events to the operator's programs ([HOOKS]), in the journal's order, from the
// cursor "hooks". With the most hooks running, the next event waits for one to end: none is dropped;
// events journaled while the gateway was down are handed over when it is back.
class HookFeed {
public:
    // Starts following when any hook is set.
    HookFeed(HookRunner& runner, EngineEvents& events, TraceSink& trace);
    // The engine must have ended (EngineEvents::end) or end soon: the feed stops with it.
    ~HookFeed();
    HookFeed(const HookFeed&) = delete;
    HookFeed& operator=(const HookFeed&) = delete;

private:
    void follow();

    HookRunner& runner_;
    EngineEvents& events_;
    TraceSink& trace_;
    // Placed when the feed is made, so that nothing journaled from then on is missed.
    std::unique_ptr<JournalFollower> follower_;
    std::thread thread_;
};

// The hook an event goes to, if any: RECEIVED, SENT, FAILED (a recipient that could not be sent; a
// failure a delivery report tells has no hook), MODEM, OPTOUT.
std::optional<HookEvent> hook_event_of(const JournalEvent& event);
