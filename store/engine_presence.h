#pragma once

#include <optional>

// Whether an engine (the console's or vmsmsd) is at work in the working directory, told without
// talking to it: the engine holds ./sms.log open from its start to its end, so a process with that file
// open is one; and its trace is written at every cycle, so a recent change of the file is another sign
// (the only one when the engine runs as another user whose files this process cannot look into).
struct EnginePresence {
    bool running = false;
    bool trace_held_open = false;
    std::optional<double> trace_age_seconds; // since ./sms.log last changed; none when it is missing
};

// Seconds of trace silence after which the file's age alone no longer counts as a running engine.
inline constexpr double trace_recent_seconds = 30;

EnginePresence engine_presence();
