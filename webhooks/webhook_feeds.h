#pragma once

#include "engine/events/engine_events.h"
#include "engine/events/journal_follower.h"
#include "webhooks/retry_policy.h"
#include "webhooks/webhook_settings.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// POSTs the journal's events to each receiver of [WEBHOOKS], one thread per receiver, in the journal's
// order: the next event goes only once the one before it was accepted or parked. Each receiver keeps
// its cursor (events/cursor-webhook-URL1.txt, labelled with its address), so delivery goes on after a
// restart where it stopped: an event may come twice (with the same id), never not at all.
class WebhookFeeds {
public:
    WebhookFeeds(WebhookSettings settings, EngineEvents& events, TraceSink& trace);
    // Ends every delivery under way (an attempt in flight ends within its time-out): what was not
    // accepted yet goes after the next start.
    ~WebhookFeeds();
    WebhookFeeds(const WebhookFeeds&) = delete;
    WebhookFeeds& operator=(const WebhookFeeds&) = delete;

private:
    void deliver_all(const WebhookTarget& target, JournalFollower& follower);
    // False when the feeds end before the event was accepted or parked.
    bool deliver(const WebhookTarget& target, const JournalEvent& event);
    // Waits `ms`; false when the feeds end meanwhile.
    bool wait_ms(long long ms);

    WebhookSettings settings_;
    RetryTiming timing_;
    EngineEvents& events_;
    TraceSink& trace_;
    std::mutex mutex_;
    std::condition_variable ending_changed_;
    bool ending_ = false;
    std::atomic<bool> cancel_{false}; // ends an attempt in flight
    // Placed when the feeds are made, so that nothing journaled from then on is missed.
    std::vector<std::unique_ptr<JournalFollower>> followers_;
    std::vector<std::thread> threads_;
};

// The cursor (and parked file) name of a receiver: "webhook-URL1".
std::string webhook_cursor_name(const WebhookTarget& target);
