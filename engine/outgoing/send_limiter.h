#pragma once

#include "engine/engine_context.h"
#include "store/limit_counts.h"
#include "store/send_limits.h"

#include <optional>
#include <random>
#include <set>
#include <string>

// The engine's side of server.txt's [LIMITS]: before each message it asks whether a limit or the
// quiet span holds it; a held message is postponed, not failed (SendingHeld: it keeps its place), the
// hold is said once on the monitor, in the trace, in the caption and in the status, and sending goes
// on by itself once the limit allows. After each message the counts go to disk, before the send
// position. The jitter waits a random time from its span before each message but the first.
class SendLimiter {
public:
    // `seed` makes the jitter's waits repeatable (tests); counts are read from the working directory,
    // from the files of `modem` when it is a modem of a pool other than the first (store/limit_counts.h).
    SendLimiter(SendLimits limits, unsigned seed, std::string modem = {});

    bool on() const { return limits_.any(); }
    const SendLimits& limits() const { return limits_; }

    // At the start of a cycle: false, and the hold said, when nothing may be sent now (a reply in the
    // quiet span aside, when `replies_waiting` and the span lets replies through).
    bool may_send_now(EngineContext& ctx);
    // Nothing waits to be sent: a hold said before is over without a word on the monitor (no message
    // waits for it); the caption and the status are put back.
    void nothing_waiting(EngineContext& ctx);
    // Whether on-demand replies may go now while other messages are held by the quiet span.
    bool replies_may_go(EngineContext& ctx);
    // Before a message of `parts` parts to `phone` (any spelling): throws SendingHeld when a limit
    // holds it; waits the jitter.
    void before_message(EngineContext& ctx, const std::string& phone, int parts, bool reply);
    // The message went out.
    void sent(EngineContext& ctx, const std::string& phone, int parts);

private:
    std::optional<LimitHold> hold_now(EngineContext& ctx, int parts, const std::string& canonical, bool reply);
    void hold(EngineContext& ctx, const LimitHold& hold);
    void release(EngineContext& ctx);
    void load_month(const std::string& month);

    SendLimits limits_;
    std::string modem_; // whose counts files
    LimitCounts counts_;
    std::string numbers_month_; // the month month_numbers_ holds
    std::set<std::string> month_numbers_;
    std::optional<LimitHold> held_; // the hold said last, while it lasts
    std::mt19937 random_;
    bool first_message_ = true;
};

// "每分钟限额 10 条" and the like, GBK; "静默时段 21:00-08:00" for the quiet span.
std::string limit_words(const LimitHold& hold, const SendLimits& limits);
