#include "engine/events/hook_feed.h"

namespace {

using namespace std::chrono_literals;

// How often a full runner is asked again whether a hook ended.
constexpr auto slot_look = 50ms;

HookMessage hook_message_of(const JournalEvent& e) {
    return {e.number, e.text, e.day, e.record, e.index, e.parts, e.id};
}

} // namespace

std::optional<HookEvent> hook_event_of(const JournalEvent& e) {
    if (e.kind == "received") {
        return HookEvent::Received;
    }
    if (e.kind == "sent") {
        return HookEvent::Sent;
    }
    if (e.kind == "failed" && e.detail.rfind("report", 0) != 0) {
        return HookEvent::Failed;
    }
    if (e.kind == "modem") {
        return HookEvent::Modem;
    }
    if (e.kind == "optout") {
        return HookEvent::OptOut;
    }
    return std::nullopt;
}

HookFeed::HookFeed(HookRunner& runner, EngineEvents& events, TraceSink& trace)
    : runner_(runner), events_(events), trace_(trace) {
    if (runner_.any()) {
        follower_ = std::make_unique<JournalFollower>(events_, "hooks", "hooks", trace_);
        thread_ = std::thread([this] { follow(); });
    }
}

HookFeed::~HookFeed() {
    events_.end();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void HookFeed::follow() {
    JournalFollower& follower = *follower_;
    while (std::optional<JournalEvent> event = follower.next()) {
        std::optional<HookEvent> hook = hook_event_of(*event);
        if (hook && runner_.has(*hook)) {
            bool said = false;
            while (runner_.start(*hook, hook_message_of(*event)) == HookRunner::Start::Busy) {
                if (!said) {
                    tracef(trace_, "hook for %s waits: %zu hooks still running\n", event->id.c_str(),
                           runner_.running());
                    said = true;
                }
                if (events_.ended()) {
                    return; // handed over after the next start
                }
                std::this_thread::sleep_for(slot_look);
            }
        }
        follower.done(*event);
    }
}
