#include "console/engine_control.h"

#include "engine/myterad.h"

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

} // namespace

std::unique_ptr<EngineControl> make_engine_thread(EngineOptions& options, OperatorOutput& output, Clock& clock) {
    return std::make_unique<EngineThread>(options, output, clock);
}
