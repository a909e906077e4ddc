#include "engine/shared/shared_send_pass.h"

#include "engine/engine_halt.h"
#include "engine/outgoing/send_pass.h"
#include "engine/outgoing/submission.h"
#include "engine/shared/shared_queue.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/db/outbox.h"
#include "store/spool.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// Writes the outcomes not recorded yet; false while some remain.
bool record_outcomes(EngineContext& ctx, SharedQueue& queue, PgConnection& db) {
    std::vector<SharedQueue::Outcome>& outcomes = queue.unrecorded();
    while (!outcomes.empty()) {
        const SharedQueue::Outcome& o = outcomes.front();
        Completion done = complete_recipient(db, o.id, queue.gateway(), o.sent, o.result);
        if (done == Completion::Failed) {
            queue.failed(ctx, "recording an outcome");
            return false;
        }
        if (done == Completion::NotOurs) {
            // Its lease ran out while the modem had it, and another gateway took it on.
            tracef(ctx.logs, "shared queue: row %lld was claimed by another gateway while it was being sent\n", o.id);
        }
        outcomes.erase(outcomes.begin());
    }
    return true;
}

// Rows claimed and not sent yet go back to the queue when the engine stops in the middle of a batch.
class HeldRowsGiveBack {
public:
    HeldRowsGiveBack(EngineContext& ctx, SharedQueue& queue) : ctx_(ctx), queue_(queue) {}
    ~HeldRowsGiveBack() {
        if (!std::uncaught_exceptions()) {
            return;
        }
        std::vector<long long> left;
        for (const ClaimedRecipient& row : queue_.held()) {
            left.push_back(row.id);
        }
        PgConnection* db = left.empty() ? nullptr : queue_.connection(ctx_);
        if (db && release_recipients(*db, queue_.gateway(), left)) {
            queue_.held().clear();
        } else if (db) {
            queue_.failed(ctx_, "giving back unsent rows");
        }
    }
    HeldRowsGiveBack(const HeldRowsGiveBack&) = delete;
    HeldRowsGiveBack& operator=(const HeldRowsGiveBack&) = delete;

private:
    EngineContext& ctx_;
    SharedQueue& queue_;
};

void send_row(EngineContext& ctx, SharedQueue& queue, const ClaimedRecipient& row) {
    std::string line = content_line_from_outbox(row.body, row.english);
    tracef(ctx.logs, "shared queue: row %lld (%s %s record %ld.%ld, claim %d) to %s\n", row.id, row.origin.c_str(),
           row.day.c_str(), row.record, row.idx, row.attempts, row.number.c_str());
    std::vector<UserData> parts = encode_content_line(ctx, line, row.record, row.long_message);
    std::string number = utf8_to_gbk(row.number).value_or(row.number);
    RecipientOutcome outcome = submit_to_recipient(ctx, number, parts, row.record, static_cast<int>(row.idx) - 1);
    queue.unrecorded().push_back({row.id, outcome.sent, outcome.result});
    if (PgConnection* db = queue.connection(ctx)) {
        record_outcomes(ctx, queue, *db);
    }
}

} // namespace

int run_shared_send_pass(EngineContext& ctx, SharedQueue& queue) {
    PgConnection* db = queue.connection(ctx);
    if (!db || !record_outcomes(ctx, queue, *db)) {
        return 0;
    }
    if (ctx.port.broken()) {
        return 0; // a gateway without its modem takes nothing from the others
    }
    const DbSettings& settings = queue.settings();
    std::vector<ClaimedRecipient>& held = queue.held();
    int claimed = 0;
    if (held.empty()) {
        std::optional<std::vector<ClaimedRecipient>> rows =
            claim_recipients(*db, queue.gateway(), settings.batch, settings.lease_seconds);
        if (!rows) {
            queue.failed(ctx, "claiming");
            return 0;
        }
        held = std::move(*rows);
        claimed = static_cast<int>(held.size());
    }
    HeldRowsGiveBack give_back(ctx, queue);
    int handled = 0;
    while (!held.empty()) {
        ctx.pacer.checkpoint();
        if (ctx.port.broken()) {
            break; // the rest stays held; each is renewed, or found lost, once the modem is back
        }
        ClaimedRecipient row = held.front();
        db = queue.connection(ctx);
        LeaseCheck lease = db ? renew_lease(*db, row.id, queue.gateway(), settings.lease_seconds) : LeaseCheck::Failed;
        if (lease == LeaseCheck::Failed) {
            // Whether another gateway has it now cannot be told: the rest waits, still held, until the
            // database answers again; a lease that ran out meanwhile is then found lost.
            if (db) {
                queue.failed(ctx, "renewing a lease");
            }
            break;
        }
        held.erase(held.begin());
        ++handled;
        if (lease == LeaseCheck::Lost) {
            tracef(ctx.logs, "shared queue: row %lld is no longer ours, not sent\n", row.id);
            continue;
        }
        try {
            send_row(ctx, queue, row);
        } catch (const SendingHeld&) {
            // Not sent (a limit, or no network): it goes back to the queue with the rest of the batch.
            held.insert(held.begin(), row);
            throw;
        }
    }
    return std::max(claimed, handled);
}

void settle_local_records(EngineContext& ctx, SharedQueue& queue, long queued) {
    const std::string& day = ctx.state.spool_date;
    long processed = read_counter(day, SpoolDir::Send);
    if (processed >= queued) {
        return;
    }
    PgConnection* db = queue.connection(ctx);
    if (!db) {
        return;
    }
    std::optional<long> settled = settled_up_to(*db, queue.gateway(), day);
    if (!settled) {
        queue.failed(ctx, "reading the settled records");
        return;
    }
    long upto = std::min(*settled, queued);
    if (upto > processed && !write_counter(day, SpoolDir::Send, upto)) {
        tracef(ctx.logs, "shared queue: cannot write %s\n", counter_path(day, SpoolDir::Send).c_str());
    }
}
