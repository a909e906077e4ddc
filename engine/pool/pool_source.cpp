#include "engine/pool/pool_source.h"

#include "engine/engine_context.h"
#include "engine/engine_halt.h"
#include "engine/incoming/delivery_reports.h"
#include "engine/outgoing/send_limiter.h"
#include "engine/outgoing/send_pass.h"
#include "engine/outgoing/submission.h"
#include "engine/report/persist.h"
#include "modem/link_recovery.h"
#include "platform/gbk.h"
#include "store/pool_progress.h"
#include "store/reply_records.h"

PoolSource::PoolSource(RecipientDispatcher& dispatcher, std::string modem)
    : dispatcher_(dispatcher), modem_(std::move(modem)) {}

bool PoolSource::send_waiting(EngineContext& ctx, long /*processed*/, long /*queued*/) {
    bool sent_any = false;
    while (true) {
        ctx.pacer.checkpoint();
        const std::string day = ctx.state.spool_date;
        std::optional<RecipientClaim> claim = dispatcher_.claim(modem_, day);
        if (!claim) {
            if (!dispatcher_.progress_unsaved(day)) {
                return sent_any;
            }
            // Nothing more goes out until the pool's progress is on disk.
            persist(ctx, pool_progress_path(day), [&] { return dispatcher_.save(day); });
            continue;
        }
        sent_any = true;
        if (!send_claim(ctx, *claim)) {
            return true;
        }
    }
}

RecordShare PoolSource::reply_share(const std::string& /*recipients_file_text*/, const std::string& /*reply*/) {
    return [this](const std::string& day, long record, std::string& /*why*/) {
        dispatcher_.prefer(day, record, modem_);
        return true;
    };
}

bool PoolSource::send_claim(EngineContext& ctx, const RecipientClaim& claim) {
    try {
        submit(ctx, claim);
    } catch (const RecipientReturned&) {
        dispatcher_.give_back(claim);
        dispatcher_.modem_down(modem_);
        tracef(ctx.logs, "link down: record %ld recipient %ld given back to the other modems\n", claim.record,
               claim.index);
        recover_link(ctx);
        return false;
    } catch (...) {
        // Held by a limit or the registration, or the engine stops: another modem, or this one later,
        // sends it.
        dispatcher_.give_back(claim);
        throw;
    }
    persist(ctx, pool_progress_path(claim.day), [&] { return dispatcher_.done(claim); });
    return true;
}

void PoolSource::submit(EngineContext& ctx, const RecipientClaim& claim) {
    tracef(ctx.logs, "%s=[%s] record %ld\n", gbk("手机号").c_str(), claim.recipient.c_str(), claim.record);
    const std::vector<UserData>* content = content_of(ctx, claim);
    if (content == nullptr) {
        tracef(ctx.logs, "record %ld incomplete (content missing), skipped\n", claim.record);
        return;
    }
    if (claim.bad_range) {
        tracef(ctx.logs, "bad number range, not sent=[%s]\n", claim.recipient.c_str());
        report_unsendable(ctx, claim.record, static_cast<int>(claim.index), claim.recipient, "号码段无效");
    } else {
        submit_to_recipient(ctx, claim.recipient, *content, claim.record, static_cast<int>(claim.index));
    }
    // Reports that came in with the answers are logged before the next recipient.
    take_pending_reports(ctx);
}

const std::vector<UserData>* PoolSource::content_of(EngineContext& ctx, const RecipientClaim& claim) {
    if (claim.day != content_day_ || claim.record != content_record_) {
        content_day_ = claim.day;
        content_record_ = claim.record;
        content_ = encode_content(ctx, claim.record);
    }
    if (content_) {
        // encode_content set the content texts of the report lines; another record may have since.
        const bool quiet = ctx.limiter && ctx.limiter->limits().quiet;
        ctx.state.content.reply = quiet && read_reply_records(claim.day).contains(claim.record);
    }
    return content_ ? &*content_ : nullptr;
}
