#pragma once

#include "engine/send_source.h"
#include "engine/shared/shared_queue.h"

// The shared queue on PostgreSQL as the engine's send source: what goes out is claimed from the
// outbox (the spool's records are local copies, settled once the outbox has settled them); received
// messages and delivery reports go into the database as well; on-demand replies go into the outbox.
class SharedSource : public SendSource {
public:
    explicit SharedSource(DbSettings settings) : queue_(std::move(settings)) {}

    bool send_waiting(EngineContext& ctx, long processed, long queued) override;
    void keep_received(EngineContext& ctx) override;
    void keep_delivery(EngineContext& ctx, const SentReference& sent, int status, const char* word) override;
    RecordShare reply_share(const std::string& recipients_file_text, const std::string& reply) override;
    bool may_have_waiting(long, long) const override { return true; }
    void send_replies_ahead(EngineContext&, long, long) override {}

private:
    SharedQueue queue_;
};
