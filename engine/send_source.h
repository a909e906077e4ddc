#pragma once

#include "store/spool.h"

#include <string>

struct EngineContext;
struct SentReference;

// Where the engine's outgoing messages come from, and where what it receives and learns is kept beside
// the spool: this directory's spool alone, or the shared queue when server.txt names a database. It is
// chosen once, when the engine starts (make_send_source); the cycle and the passes never ask which.
class SendSource {
public:
    virtual ~SendSource() = default;

    // Hands what is waiting to the modem; false when nothing was. `processed` and `queued` are the
    // spool's counters of the engine's day.
    virtual bool send_waiting(EngineContext& ctx, long processed, long queued) = 0;
    // After the inbox pass: the day's received messages.
    virtual void keep_received(EngineContext& /*ctx*/) {}
    // A delivery report, just logged, for what `sent` names.
    virtual void keep_delivery(EngineContext& /*ctx*/, const SentReference& /*sent*/, int /*status*/,
                               const char* /*word*/) {}
    // What an on-demand reply's record is queued with besides the spool (nothing by default).
    virtual RecordShare reply_share(const std::string& /*recipients_file_text*/, const std::string& /*reply*/) {
        return {};
    }
    // Whether something may be waiting to be sent: the spool knows from its counters; the shared
    // queue's outbox is only known by claiming.
    virtual bool may_have_waiting(long processed, long queued) const { return processed < queued; }
    // In the quiet hours: the on-demand replies that may go ahead of the records the span holds. The
    // shared queue's replies wait with the rest: their outbox rows would go again through another
    // gateway.
    virtual void send_replies_ahead(EngineContext& ctx, long processed, long queued);
};

// The spool alone: records are sent in order, each recipient once.
class SpoolSource : public SendSource {
public:
    bool send_waiting(EngineContext& ctx, long processed, long queued) override;
};
