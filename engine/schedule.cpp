#include "engine/schedule.h"

#include "platform/text_ops.h"

namespace {

// The clock's long time form without its ':' and seconds.
std::string hours_and_minutes(const LocalTime& now) {
    std::string t = time_text(now);
    t.resize(t.size() - 3);
    return t;
}

} // namespace

ScheduleAction schedule_check(const ScheduleInput& input) {
    if (!input.enabled) {
        return ScheduleAction::None;
    }
    std::string start = remove_byte(input.start_box, ' ');
    std::string stop = remove_byte(input.stop_box, ' ');
    if (start == stop) {
        return ScheduleAction::ResetTimes;
    }
    std::string now = hours_and_minutes(input.now);
    if (now == start && input.engine_suspended) {
        return ScheduleAction::Start;
    }
    if (now == stop && !input.engine_suspended) {
        return ScheduleAction::Stop;
    }
    return ScheduleAction::None;
}
