#include "engine/shared/shared_reports.h"

#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/db/outbox.h"
#include "store/sent_references.h"
#include "store/spool.h"

void share_received(EngineContext& ctx, SharedQueue& queue) {
    const std::string& day = ctx.state.spool_date;
    long received = read_counter(day, SpoolDir::Recv);
    if (received == 0) {
        return;
    }
    PgConnection* db = queue.connection(ctx);
    if (!db) {
        return;
    }
    std::optional<long> shared = last_inbox_record(*db, queue.gateway(), day);
    if (!shared) {
        queue.failed(ctx, "reading the inbox");
        return;
    }
    for (long r = *shared + 1; r <= received; ++r) {
        RecordTexts texts = read_record(day, SpoolDir::Recv, r);
        std::string sender = cut_at_line_end(texts.recipients.value_or(std::string()));
        std::string body = gbk_to_utf8_lossy(texts.content.value_or(std::string()));
        if (!add_to_inbox(*db, queue.gateway(), day, r, gbk_to_utf8_lossy(sender), body)) {
            queue.failed(ctx, "adding to the inbox");
            return;
        }
    }
}

void share_delivery(EngineContext& ctx, SharedQueue& queue, const SentReference& sent, int status, const char* word) {
    PgConnection* db = queue.connection(ctx);
    if (!db) {
        tracef(ctx.logs, "delivery report for %s not shared: the database cannot be reached\n", sent.number.c_str());
        return;
    }
    std::string number = gbk_to_utf8_lossy(sent.number);
    std::optional<long long> outbox_id;
    if (!find_sent_row(*db, queue.gateway(), number, sent.record, sent.index + 1, outbox_id) ||
        !add_delivery(*db, outbox_id, queue.gateway(), number, sent.reference, status, word)) {
        queue.failed(ctx, "adding a delivery report");
    }
}
