#pragma once

#include "engine/engine_options.h"
#include "engine/operator_output.h"
#include "platform/clock.h"

#include <functional>
#include <memory>

// What the window does with the engine thread: pause and continue it, ask whether it is paused, and
// end it when the window closes. The window holds the engine through this seam so its tests can put a
// recording engine in its place.
class EngineControl {
public:
    virtual ~EngineControl() = default;
    // Pause count - 1; the suspended flag clears when the count goes from 1 to 0 and the engine can run.
    virtual void Resume() = 0;
    // Pause count + 1, suspended flag set; the engine halts at its next safe point.
    virtual void Suspend() = 0;
    virtual bool Suspended() const = 0;
    // Ends the engine at its next safe point, even while paused; closes the port and the logs; waits.
    virtual void Shutdown() = 0;
};

// Creates the engine, paused, writing to `output` and reading `options` at the moment of use.
using EngineFactory = std::function<std::unique_ptr<EngineControl>(EngineOptions&, OperatorOutput&, Clock&)>;

// The real engine thread (myterad) on the modem named in server.txt.
std::unique_ptr<EngineControl> make_engine_thread(EngineOptions& options, OperatorOutput& output, Clock& clock);
