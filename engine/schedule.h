#pragma once

#include "platform/clock.h"

#include <string>

// What one tick of the schedule does.
enum class ScheduleAction {
    None,
    ResetTimes, // start and stop time are equal: the boxes go back to "8:01" and "21:00"
    Start,      // the start minute, with the engine paused
    Stop,       // the stop minute, with the engine running
};

// What a tick looks at: the check box, the two time boxes as typed (GBK), the clock and whether the
// engine is paused. The schedule keeps no state of its own.
struct ScheduleInput {
    bool enabled = false;
    std::string start_box;
    std::string stop_box;
    LocalTime now;
    bool engine_suspended = true;
};

// Times are compared as text with every blank removed, against the clock's "7:01:05" cut to "7:01":
// a box holding "07:01" never matches. The date is never looked at, so the schedule acts every day, and
// the engine state makes it act once in the matching minute.
ScheduleAction schedule_check(const ScheduleInput& input);
