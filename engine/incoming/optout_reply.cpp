#include "engine/incoming/optout_reply.h"

#include "engine/incoming/auto_reply.h"
#include "engine/events/note_event.h"
#include "engine/report/persist.h"
#include "engine/send_source.h"
#include "platform/gbk.h"
#include "store/optout_answers.h"
#include "store/optout_keywords.h"
#include "store/optout_list.h"
#include "store/phone_number.h"
#include "store/recipients.h"
#include "store/record_files.h"
#include "store/spool.h"

namespace {

// As on-demand replies: one message, never half a character.
constexpr std::size_t reply_bytes = 139;

void note_answer(EngineContext& ctx, const std::string& day, long record) {
    persist(ctx, optout_answers_path(day), [&] { return note_optout_answer(day, record); });
}

// Queues the confirmation to today's spool, tried again until it is written; its record number.
long queue_confirmation(EngineContext& ctx, const std::string& reply, const std::string& sender) {
    QueuedAnswer queued = queue_answer(ctx, std::string(gbk_prefix(reply, reply_bytes)), sender, "opt-out reply");
    // The sender is on the list by now: the confirmation goes all the same.
    note_answer(ctx, queued.day, queued.record);
    return queued.record;
}

void add_to_list(EngineContext& ctx, const std::string& sender, const std::string& text) {
    const std::string& day = ctx.state.spool_date;
    OptOutChange change = OptOutChange::Failed;
    persist(ctx, optout_path, [&] {
        change = add_optout(sender, day, text);
        return change != OptOutChange::Failed;
    });
    const char* what = change == OptOutChange::Done ? "added" : "already there";
    tracef(ctx.logs, "opt-out from %s (%s): %s\n", sender.c_str(), text.c_str(), what);
    ctx.output.prepend_monitor(gbk("收到退订: ") + sender + "\r\n");
}

} // namespace

bool opt_out_check(EngineContext& ctx, const std::string& text, const std::string& sender, long record, int parts) {
    OptOutKeywords keywords = read_optout_keywords();
    if (!keywords.matches(text)) {
        return false;
    }
    if (!is_reply_address(sender) || !canonical_number(sender, home_country())) {
        tracef(ctx.logs, "opt-out from a sender that is no phone number, left alone=[%s]\n", sender.c_str());
        return false;
    }
    add_to_list(ctx, sender, text);
    if (!keywords.reply.empty()) {
        queue_confirmation(ctx, keywords.reply, sender);
    }
    note_event(ctx, message_event("optout", ctx.state.spool_date, record, 0, parts, sender, text));
    return true;
}

void keep_answer_to_opted_out(EngineContext& ctx, const std::string& day, long record, const std::string& sender) {
    std::optional<OptOutList> list = read_optout_list();
    if (record > 0 && (!list || list->holds(sender, home_country()))) {
        tracef(ctx.logs, "reply %ld goes to %s, on the opt-out list: the number asked\n", record, sender.c_str());
        note_answer(ctx, day, record);
    }
}
