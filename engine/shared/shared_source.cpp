#include "engine/shared/shared_source.h"

#include "engine/shared/shared_reports.h"
#include "engine/shared/shared_send_pass.h"

bool SharedSource::send_waiting(EngineContext& ctx, long /*processed*/, long queued) {
    bool sent = run_shared_send_pass(ctx, queue_) != 0;
    settle_local_records(ctx, queue_, queued);
    return sent;
}

void SharedSource::keep_received(EngineContext& ctx) {
    share_received(ctx, queue_);
}

void SharedSource::keep_delivery(EngineContext& ctx, const SentReference& sent, int status, const char* word) {
    share_delivery(ctx, queue_, sent, status, word);
}

RecordShare SharedSource::reply_share(const std::string& recipients_file_text, const std::string& reply) {
    return outbox_share(queue_.writer(), recipients_file_text, reply, false);
}
