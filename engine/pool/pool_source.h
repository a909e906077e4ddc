#pragma once

#include "engine/pool/recipient_dispatcher.h"
#include "engine/send_source.h"
#include "modem/pdu/pdu_codec.h"

#include <optional>
#include <string>
#include <vector>

// The spool as one engine of a pool of modems sends from it: recipient after recipient claimed from
// the pool's dispatcher, each sent with the engine's own submission and noted done before the next.
// A claim whose modem went away, or that a limit or a lost registration held, goes back to the others.
// On-demand replies are kept to the modem that received the query.
class PoolSource : public SendSource {
public:
    PoolSource(RecipientDispatcher& dispatcher, std::string modem);

    bool send_waiting(EngineContext& ctx, long processed, long queued) override;
    RecordShare reply_share(const std::string& recipients_file_text, const std::string& reply) override;
    // In the quiet hours replies wait with the rest: sent ahead by one engine, another could send the
    // record again.
    void send_replies_ahead(EngineContext& /*ctx*/, long /*processed*/, long /*queued*/) override {}

private:
    // Sends one claimed recipient; false when its modem's link went down and it was given back.
    bool send_claim(EngineContext& ctx, const RecipientClaim& claim);
    void submit(EngineContext& ctx, const RecipientClaim& claim);
    const std::vector<UserData>* content_of(EngineContext& ctx, const RecipientClaim& claim);

    RecipientDispatcher& dispatcher_;
    std::string modem_;
    // The content of the record last sent from, encoded once for its recipients.
    std::string content_day_;
    long content_record_ = 0;
    std::optional<std::vector<UserData>> content_;
};
