#pragma once

#include "engine/backoff.h"
#include "engine/engine_context.h"
#include "queue/shared_enqueue.h"
#include "store/db/db_settings.h"
#include "store/db/outbox.h"
#include "store/db/pg_connection.h"

#include <memory>
#include <string>
#include <vector>

// The engine's side of the shared queue: its one connection (which its on-demand replies are queued
// through too), opened again after the database went away (after 1 s, doubling up to 30 s, without
// holding up the modem's work meanwhile), and the outcomes it could not record yet.
class SharedQueue {
public:
    explicit SharedQueue(DbSettings settings);

    const DbSettings& settings() const { return writer_.settings(); }
    const std::string& gateway() const { return writer_.settings().gateway; }

    // A live connection, or nullptr while the database cannot be reached (tried again once the wait has
    // passed). Losing and regaining it are told on the monitor and in the trace.
    PgConnection* connection(EngineContext& ctx);
    // A statement failed: traced, and when the connection is gone it is dropped and the operator told.
    void failed(EngineContext& ctx, const char* what);

    // Outcomes of sends whose rows could not be written yet, kept until they are: nothing is claimed
    // before they are all recorded.
    struct Outcome {
        long long id;
        bool sent;
        std::string result;
    };
    std::vector<Outcome>& unrecorded() { return unrecorded_; }
    // Rows claimed and not sent yet, oldest first: each is sent only after its lease is renewed.
    std::vector<ClaimedRecipient>& held() { return held_; }

    // The writer on-demand replies are queued through.
    SharedWriter& writer() { return writer_; }

private:
    void tell_down(EngineContext& ctx, const std::string& why);

    static constexpr int connect_timeout_seconds = 5;

    SharedWriter writer_;
    bool down_told_ = false;
    long long retry_at_ms_ = 0;
    Backoff backoff_; // the waits between tries to reach the database
    std::vector<Outcome> unrecorded_;
    std::vector<ClaimedRecipient> held_;
};
