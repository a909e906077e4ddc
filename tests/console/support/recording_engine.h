#pragma once

#include "console/engine_control.h"

#include <memory>
#include <string>
#include <vector>

using EngineCalls = std::vector<std::string>;

// An engine that only keeps the pause count and the suspended flag, as the engine thread does, and
// records what the window asked of it.
class RecordingEngine : public EngineControl {
public:
    ~RecordingEngine() override;

    void Resume() override;
    void Suspend() override;
    bool Suspended() const override { return suspended; }
    void Shutdown() override;

    // "Resume", "Suspend", "Shutdown", "deleted": kept apart, so it outlives the engine the window deletes.
    std::shared_ptr<EngineCalls> calls = std::make_shared<EngineCalls>();
    unsigned pause_count = 1;
    bool suspended = true;
    // An engine whose run has ended (a port failure) cannot be resumed.
    bool finished = false;
};

// Creates one RecordingEngine per window and points `*engine` at it.
EngineFactory recording_engine_factory(RecordingEngine** engine);
