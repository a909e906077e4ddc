#include "console/engine_control.h"

#include "engine/myterad.h"
#include "engine/pool/engine_pool.h"
#include "platform/trace.h"

namespace {

class EngineThread : public EngineControl {
public:
    EngineThread(EngineOptions& options, OperatorOutput& output, Clock& clock) : engine_(options, output, clock) {}

    void Resume() override { engine_.Resume(); }
    void Suspend() override { engine_.Suspend(); }
    bool Suspended() const override { return engine_.Suspended(); }
    void Shutdown() override { engine_.Shutdown(); }

private:
    myterad engine_;
};

// server.txt lists several modems: one engine each, their monitor lines named by their modem in the
// window's one monitor, MODEM1's caption on the window.
class PoolThreads : public EngineControl {
public:
    PoolThreads(const ModemPoolSettings& pool, EngineOptions& options, OperatorOutput& output, Clock& clock)
        : engines_(
              pool, options,
              [&output](const PoolModem& modem, bool first) {
                  return std::make_unique<PoolMemberOutput>(output, modem.name, first);
              },
              clock, trace_) {}

    void Resume() override { engines_.Resume(); }
    void Suspend() override { engines_.Suspend(); }
    bool Suspended() const override { return engines_.Suspended(); }
    void Shutdown() override { engines_.Shutdown(); }

private:
    NullTrace trace_; // each engine keeps its own trace file
    EnginePool engines_;
};

} // namespace

std::unique_ptr<EngineControl> make_engine_thread(EngineOptions& options, OperatorOutput& output, Clock& clock) {
    ModemPoolSettings pool = read_modem_pool_settings();
    if (pool.pooled()) {
        return std::make_unique<PoolThreads>(pool, options, output, clock);
    }
    return std::make_unique<EngineThread>(options, output, clock);
}
