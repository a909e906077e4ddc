// The schedule's minute rules: what one tick decides from the check box, the two time boxes as typed,
// the clock and whether the engine is paused.
#include "engine/schedule.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct MinuteCase {
    const char* name;
    bool enabled;
    std::string start;
    std::string stop;
    int hour;
    int minute;
    int second;
    bool suspended;
    ScheduleAction action;
};

void PrintTo(const MinuteCase& c, std::ostream* os) {
    *os << c.name;
}

class ScheduleMinuteTest : public ::testing::TestWithParam<MinuteCase> {};

TEST_P(ScheduleMinuteTest, DecidesTheTick) {
    const MinuteCase& c = GetParam();
    ScheduleInput input{c.enabled, c.start, c.stop, LocalTime{2004, 5, 6, c.hour, c.minute, c.second}, c.suspended};
    EXPECT_EQ(schedule_check(input), c.action);
}

using A = ScheduleAction;

INSTANTIATE_TEST_SUITE_P(
    Rules, ScheduleMinuteTest,
    ::testing::Values(MinuteCase{"StartMinuteFirstSecond", true, "7:01", "21:00", 7, 1, 0, true, A::Start},
                      MinuteCase{"StartMinuteLastSecond", true, "7:01", "21:00", 7, 1, 59, true, A::Start},
                      MinuteCase{"MinuteAfterTheStart", true, "7:01", "21:00", 7, 2, 0, true, A::None},
                      MinuteCase{"StartMinuteAlreadyRunning", true, "7:01", "21:00", 7, 1, 5, false, A::None},
                      MinuteCase{"Unticked", false, "7:01", "21:00", 7, 1, 0, true, A::None},
                      MinuteCase{"LeadingZeroNeverMatches", true, "07:01", "21:00", 7, 1, 0, true, A::None},
                      MinuteCase{"BlanksAroundAndInside", true, " 7 :01 ", "21:00", 7, 1, 0, true, A::Start},
                      MinuteCase{"SecondsTypedNeverMatch", true, "7:01:00", "21:00", 7, 1, 0, true, A::None},
                      MinuteCase{"StopMinuteRunning", true, "7:01", "21:00", 21, 0, 30, false, A::Stop},
                      MinuteCase{"StopMinutePaused", true, "7:01", "21:00", 21, 0, 30, true, A::None},
                      MinuteCase{"EqualTimesResetFirst", true, "21:00", "21 :00", 21, 0, 0, true, A::ResetTimes},
                      MinuteCase{"EqualTimesUnticked", false, "21:00", "21:00", 21, 0, 0, true, A::None},
                      MinuteCase{"TwoDigitHour", true, "13:45", "21:00", 13, 45, 10, true, A::Start}),
    [](const ::testing::TestParamInfo<MinuteCase>& info) { return std::string(info.param.name); });

} // namespace
