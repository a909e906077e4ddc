#include "engine/incoming/auto_reply.h"

#include "engine/incoming/optout_reply.h"
#include "engine/outgoing/send_limiter.h"
#include "engine/report/persist.h"
#include "engine/send_source.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "queue/enqueue.h"
#include "store/catalogue_files.h"
#include "store/phone_number.h"
#include "store/recipients.h"
#include "store/reply_records.h"
#include "store/spool.h"

namespace {

// The catalogue text is taken up to 139 bytes, never half a character: a cut Chinese character would
// reach the phone as '?'.
constexpr std::size_t reply_bytes = 139;
// Enough to read a whole catalogue entry before it is cut.
constexpr std::size_t catalogue_read_buffer = 4096;

// The sender's entry in the members file, which may write the number in any of its forms (national,
// with the country code, international); the absent-member value when none is listed.
std::string member_value(const std::string& sender) {
    std::vector<std::string> spellings = number_spellings(sender, home_country());
    std::string value = read_member_value(spellings.front());
    for (std::size_t i = 1; i < spellings.size() && !is_member_value(value); ++i) {
        value = read_member_value(spellings[i]);
    }
    return value;
}

} // namespace

QueuedAnswer queue_answer(EngineContext& ctx, const std::string& text, const std::string& sender, const char* what) {
    // Answers go to today's spool by the clock, which can differ from the engine's day around midnight.
    LocalTime now = ctx.clock.now();
    QueuedAnswer queued{spool_date(now), -1};
    const std::string& today = queued.day;
    long& n = queued.record;
    // The message answered is deleted from the modem once it is stored, so an answer that cannot be
    // queued now is tried again until it can, rather than dropped.
    persist(ctx, counter_path(today, SpoolDir::New), [&] {
        ensure_day_dirs(today);
        // With the shared queue the answer goes into the outbox too, for whichever gateway is free.
        RecordShare share = ctx.source().reply_share(recipients_for_file(sender), text);
        std::string why;
        n = queue_outgoing_record(today, recipients_for_file(sender), date_time_text(now), text, ctx.clock, nullptr,
                                  share, &why);
        if (n == record_not_shared) {
            tracef(ctx.logs, "%s to %s not taken by the shared queue: %s\n", what, sender.c_str(), why.c_str());
        }
        if (n < 0) {
            tracef(ctx.logs, "%s to %s could not be queued in %s\n", what, sender.c_str(), today.c_str());
        }
        return n >= 0;
    });
    return queued;
}

long queue_reply(EngineContext& ctx, const std::string& code, const std::string& sender) {
    static const std::string wrong_code = gbk("查询代码错误。");
    std::string reply(code.empty() ? std::string_view(wrong_code)
                                   : gbk_prefix(catalogue_read(code, wrong_code, catalogue_read_buffer), reply_bytes));
    QueuedAnswer queued = queue_answer(ctx, reply, sender, "reply");
    const std::string& today = queued.day;
    const long n = queued.record;
    keep_answer_to_opted_out(ctx, today, n, sender);
    if (n >= 0 && ctx.limiter && ctx.limiter->limits().quiet) {
        // Noted as a reply, so the quiet hours let it through.
        persist(ctx, reply_records_path(today), [&] { return note_reply_record(today, n); });
    }
    return n;
}

void on_demand_check(EngineContext& ctx, const std::string& text, const std::string& sender) {
    if (text.empty() || text[0] != '*') {
        return;
    }
    std::string code = remove_byte(remove_byte(text.substr(1), '\r'), '\n');
    tracef(ctx.logs, gbk("查询短信内容=[%s]，[%s],[%s]\n").c_str(), text.c_str(), code.c_str(), sender.c_str());
    if (!is_reply_address(sender)) {
        // A reply goes to exactly one phone: a sender that is a name, or text that the send pass would
        // read as several numbers or a range, gets none.
        tracef(ctx.logs, "sender is no phone number, no reply=[%s]\n", sender.c_str());
        return;
    }
    if (!ctx.options.members_only.load()) {
        queue_reply(ctx, code, sender);
        ctx.logs.trace(gbk("非会员点播\r\n"));
        return;
    }
    std::string value = member_value(sender);
    tracef(ctx.logs, gbk("会员点播=[%s]，[%s],[%s]\n").c_str(), sender.c_str(), code.c_str(), value.c_str());
    if (!is_member_value(value)) {
        ctx.logs.trace(gbk("======================================:点播_无此会员\r\n"));
        return;
    }
    queue_reply(ctx, code, sender);
}
