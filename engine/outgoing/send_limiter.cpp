#include "engine/outgoing/send_limiter.h"

#include "engine/engine_halt.h"
#include "engine/operator_texts.h"
#include "engine/report/engine_status.h"
#include "engine/report/persist.h"
#include "platform/gbk.h"
#include "store/phone_number.h"

namespace {

struct LimitName {
    const char* limit;
    const char* words; // UTF-8, before the figure
    const char* unit;
};

constexpr LimitName limit_names[] = {
    {"PER_MINUTE", "每分钟限额 ", " 条"},
    {"PER_HOUR", "每小时限额 ", " 条"},
    {"PER_DAY", "每天限额 ", " 条"},
    {"PER_MONTH", "每月限额 ", " 条"},
    {"RECIPIENTS_PER_MONTH", "每月号码数限额 ", " 个"},
};

std::string until_text(long long until) {
    return date_time_text(local_time_of(until));
}

} // namespace

std::string limit_words(const LimitHold& hold, const SendLimits& limits) {
    if (hold.limit == "QUIET") {
        return gbk("静默时段 ") + (limits.quiet ? limits.quiet->text : std::string());
    }
    for (const LimitName& name : limit_names) {
        if (hold.limit == name.limit) {
            return gbk(name.words) + std::to_string(hold.value) + gbk(name.unit);
        }
    }
    return hold.limit;
}

SendLimiter::SendLimiter(SendLimits limits, unsigned seed, std::string modem)
    : limits_(std::move(limits)), modem_(std::move(modem)), random_(seed) {
    if (limits_.counts_anything()) {
        counts_ = read_limit_counts(modem_).value_or(LimitCounts{});
    }
}

void SendLimiter::load_month(const std::string& month) {
    if (numbers_month_ != month) {
        numbers_month_ = month;
        month_numbers_ = limits_.recipients_per_month ? read_month_recipients(month, modem_) : std::set<std::string>{};
    }
}

std::optional<LimitHold> SendLimiter::hold_now(EngineContext& ctx, int parts, const std::string& canonical,
                                               bool reply) {
    LocalTime now = ctx.clock.now();
    if (!reply || !limits_.quiet_replies) {
        if (std::optional<LimitHold> quiet = quiet_hold(limits_, now)) {
            return quiet;
        }
    }
    load_month(month_key(now));
    bool new_recipient = !canonical.empty() && !month_numbers_.contains(canonical);
    return limit_hold(limits_, counts_, now, parts, new_recipient, month_numbers_.size());
}

void SendLimiter::hold(EngineContext& ctx, const LimitHold& hold) {
    if (held_ && held_->limit == hold.limit && held_->until == hold.until) {
        return;
    }
    held_ = hold;
    std::string words = limit_words(hold, limits_);
    tracef(ctx.logs, "sending held by %s until %s\n", hold.limit.c_str(), until_text(hold.until).c_str());
    ctx.output.set_caption(sending_held_caption());
    ctx.output.prepend_monitor(gbk("发送暂停：") + words + gbk("，") + until_text(hold.until) +
                               gbk(" 后继续（照常接收）。\r\n"));
    if (ctx.status) {
        ctx.status->set_state(hold.limit == "QUIET" ? EngineRunState::QuietHours : EngineRunState::Limited);
    }
}

void SendLimiter::release(EngineContext& ctx) {
    if (!held_) {
        return;
    }
    tracef(ctx.logs, "sending held by %s no more\n", held_->limit.c_str());
    held_.reset();
    ctx.output.set_caption(started_caption());
    ctx.output.prepend_monitor(gbk("限额或静默时段已结束，继续发送。\r\n"));
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::Running);
    }
}

void SendLimiter::nothing_waiting(EngineContext& ctx) {
    if (!held_) {
        return;
    }
    tracef(ctx.logs, "sending held by %s: nothing waits any more\n", held_->limit.c_str());
    held_.reset();
    ctx.output.set_caption(started_caption());
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::Running);
    }
}

bool SendLimiter::may_send_now(EngineContext& ctx) {
    if (!on()) {
        return true;
    }
    if (std::optional<LimitHold> held = hold_now(ctx, 1, "", false)) {
        hold(ctx, *held);
        return false;
    }
    release(ctx);
    return true;
}

bool SendLimiter::replies_may_go(EngineContext& ctx) {
    return on() && limits_.quiet_replies && !hold_now(ctx, 1, "", true);
}

void SendLimiter::before_message(EngineContext& ctx, const std::string& phone, int parts, bool reply) {
    if (!on()) {
        return;
    }
    std::string canonical = canonical_number(phone, home_country()).value_or("");
    if (std::optional<LimitHold> held = hold_now(ctx, parts, canonical, reply)) {
        hold(ctx, *held);
        throw SendingHeld{};
    }
    if (limits_.jitter_ms && !first_message_) {
        std::uniform_int_distribution<int> wait(limits_.jitter_ms->first, limits_.jitter_ms->second);
        int ms = wait(random_);
        tracef(ctx.logs, "jitter %d ms\n", ms);
        ctx.pacer.sleep(ms);
    }
    first_message_ = false;
    if (limits_.recipients_per_month && !canonical.empty() && !month_numbers_.contains(canonical)) {
        // Noted before it goes: a crash after the send must not forget the number.
        persist(ctx, month_recipients_path(numbers_month_, modem_),
                [&] { return note_month_recipient(numbers_month_, canonical, modem_); });
        month_numbers_.insert(canonical);
    }
}

void SendLimiter::sent(EngineContext& ctx, const std::string&, int parts) {
    if (!limits_.counts_anything()) {
        return;
    }
    count_sent(counts_, ctx.clock.now(), parts);
    persist(ctx, limit_counts_file(modem_), [&] { return write_limit_counts(counts_, modem_); });
}
