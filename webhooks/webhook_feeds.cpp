#include "webhooks/webhook_feeds.h"

#include "engine/events/journal_follower.h"
#include "journal/event_json.h"
#include "store/parked_events.h"
#include "webhooks/http_post.h"
#include "webhooks/webhook_signature.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {

long long steady_now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::vector<std::string> headers_of(const WebhookTarget& target, const JournalEvent& event, const std::string& body) {
    std::vector<std::string> headers = {"Content-Type: application/json; charset=utf-8", "User-Agent: vmsms-webhook",
                                        "X-Vmsms-Event: " + event.kind, "X-Vmsms-Event-Id: " + event.id, "Expect:"};
    if (!target.secret.empty()) {
        headers.push_back("X-Vmsms-Signature: " +
                          webhook_signature(target.secret, static_cast<long long>(std::time(nullptr)), body));
    }
    return headers;
}

std::string what_came(const HttpAnswer& answer) {
    return answer.status != 0 ? "status " + std::to_string(answer.status) : "no answer: " + answer.error;
}

} // namespace

std::string webhook_cursor_name(const WebhookTarget& target) {
    return "webhook-" + target.name;
}

WebhookFeeds::WebhookFeeds(WebhookSettings settings, EngineEvents& events, TraceSink& trace)
    : settings_(std::move(settings)), events_(events), trace_(trace) {
    for (const std::string& problem : settings_.problems) {
        tracef(trace_, "server.txt [WEBHOOKS] %s\n", problem.c_str());
    }
    timing_.first_ms = settings_.retry_first_s * 1000LL;
    timing_.most_ms = settings_.retry_most_s * 1000LL;
    timing_.give_up_ms = settings_.give_up_h * 3'600'000LL;
    for (const WebhookTarget& target : settings_.targets) {
        followers_.push_back(
            std::make_unique<JournalFollower>(events_, webhook_cursor_name(target), target.url, trace_));
    }
    for (std::size_t i = 0; i < settings_.targets.size(); ++i) {
        threads_.emplace_back([this, i] { deliver_all(settings_.targets[i], *followers_[i]); });
    }
}

WebhookFeeds::~WebhookFeeds() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    cancel_ = true;
    ending_changed_.notify_all();
    events_.end();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void WebhookFeeds::deliver_all(const WebhookTarget& target, JournalFollower& follower) {
    tracef(trace_, "webhook %s: %s, after event %lld\n", target.name.c_str(), target.url.c_str(), follower.cursor());
    while (std::optional<JournalEvent> event = follower.next()) {
        if (target.kinds.empty() || target.kinds.count(event->kind) != 0) {
            if (!deliver(target, *event)) {
                return;
            }
        }
        follower.done(*event);
    }
}

bool WebhookFeeds::deliver(const WebhookTarget& target, const JournalEvent& event) {
    const std::string body = event_json(event).dump();
    const long long first = steady_now_ms();
    for (int failures = 1;; ++failures) {
        HttpAnswer answer = http_post(target.url, body, headers_of(target, event, body), settings_.timeout_s, cancel_);
        if (cancel_) {
            return false;
        }
        WebhookVerdict verdict = webhook_verdict(answer.status);
        if (verdict == WebhookVerdict::Accepted) {
            tracef(trace_, "webhook %s: %s taken (status %d)\n", target.name.c_str(), event.id.c_str(), answer.status);
            return true;
        }
        long long wait = retry_wait_ms(failures, timing_);
        std::string reason;
        if (verdict == WebhookVerdict::Park) {
            reason = "refused: " + what_came(answer);
        } else if (give_up_now(first, steady_now_ms(), wait, timing_)) {
            reason = "not taken in " + std::to_string(settings_.give_up_h) + " h: " + what_came(answer);
        }
        if (!reason.empty()) {
            tracef(trace_, "webhook %s: %s parked, %s\n", target.name.c_str(), event.id.c_str(), reason.c_str());
            if (!park_event(events_.dir(), webhook_cursor_name(target), event, journal_time(real_clock().now()),
                            reason)) {
                tracef(trace_, "webhook %s: the parked event %s could not be noted: %s\n", target.name.c_str(),
                       event.id.c_str(), std::strerror(errno));
            }
            return true;
        }
        tracef(trace_, "webhook %s: %s %s, again in %lld s\n", target.name.c_str(), event.id.c_str(),
               what_came(answer).c_str(), wait / 1000);
        if (!wait_ms(wait)) {
            return false;
        }
    }
}

bool WebhookFeeds::wait_ms(long long ms) {
    std::unique_lock lock(mutex_);
    return !ending_changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ending_; });
}
