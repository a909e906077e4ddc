#pragma once

#include "engine/engine_options.h"
#include "engine/events/engine_events.h"
#include "engine/operator_output.h"
#include "engine/pool/pool_seat.h"
#include "engine/pool/recipient_dispatcher.h"
#include "store/modem_pool_settings.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class myterad;

// What an engine of a pool shows the operator, into the window's one output: its monitor lines begin
// with its modem's name ("MODEM2: "), and none clears the monitor, so the engines do not wipe out each
// other's lines; the first modem alone sets the caption. The caption another modem would show (started,
// held by a limit or quiet hours) becomes a monitor line of its own when it changes.
class PoolMemberOutput : public OperatorOutput {
public:
    PoolMemberOutput(OperatorOutput& shared, std::string modem, bool first);
    void set_caption(const std::string& text) override;
    void replace_monitor(const std::string& text) override;
    void prepend_monitor(const std::string& text) override;
    std::size_t monitor_length() override;

private:
    OperatorOutput& shared_;
    std::string prefix_;
    bool first_;
    std::mutex mutex_;
    std::string caption_; // the last caption of a modem other than the first
};

// What one engine of a pool writes to the operator through: made for its modem (`first`: MODEM1).
using PoolOutputMaker = std::function<std::unique_ptr<OperatorOutput>(const PoolModem& modem, bool first)>;

// The engines of a pool of modems (server.txt with [MODEM2]..) as one: one engine per modem, threads of
// this process, made paused, sending from the one spool through one dispatcher and journaling through
// one writer. Pausing, continuing and ending go to all of them.
class EnginePool {
public:
    EnginePool(const ModemPoolSettings& pool, EngineOptions& options, const PoolOutputMaker& make_output, Clock& clock,
               TraceSink& trace);
    ~EnginePool();
    EnginePool(const EnginePool&) = delete;
    EnginePool& operator=(const EnginePool&) = delete;

    void Resume();
    void Suspend();
    bool Suspended() const;
    void Shutdown();
    bool Finished() const;
    // 3 when an engine's modem needs the operator, 1 when one could not start, else 0.
    int exit_status() const;

private:
    struct Member {
        PoolSeat seat;
        std::unique_ptr<OperatorOutput> output;
        std::unique_ptr<myterad> engine;
    };

    EngineEvents events_;
    RecipientDispatcher dispatcher_;
    std::vector<Member> members_;
};
