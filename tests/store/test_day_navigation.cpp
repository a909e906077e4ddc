// The day navigation of the sent and received lists: the day before and after a date box's text, and
// which day a list shows.
#include "store/day_navigation.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

const std::string today = "2004-5-6";

struct StepCase {
    const char* name;
    bool forward;
    std::string from;
    std::string to;
};

void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.name;
}

class DayStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(DayStepTest, StepsOneCalendarDay) {
    const StepCase& c = GetParam();
    EXPECT_EQ(c.forward ? next_day_text(c.from, today) : previous_day_text(c.from, today), c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Days, DayStepTest,
    ::testing::Values(StepCase{"BackIntoFebruaryOfALeapYear", false, "2004-3-1", "2004-2-29"},
                      StepCase{"BackIntoFebruaryOfACommonYear", false, "2005-3-1", "2005-2-29"},
                      StepCase{"BackOverTheYear", false, "2004-1-1", "2003-12-31"},
                      StepCase{"BackIntoA30DayMonth", false, "2004-5-1", "2004-4-30"},
                      StepCase{"BackIntoA31DayMonth", false, "2004-8-1", "2004-7-31"},
                      StepCase{"BackWithinTheMonth", false, "2004-5-6", "2004-5-5"},
                      StepCase{"BackFromAnEmptyBox", false, "", "2004-5-6"},
                      StepCase{"BackFromTextThatIsNoDate", false, "abc", "2004-5-6"},
                      StepCase{"BackToAYearBelow1000", false, "999-1-2", "2004-5-6"},
                      StepCase{"BackFromAYearAloneReadsTheYearForEveryPart", false, "2004", "2004-2004-2003"},
                      // Absurd parts are held in a range where the step cannot overflow.
                      StepCase{"BackFromAnAbsurdDay", false, "2004-5-99999999999999999999", "2004-5-999999999"},
                      StepCase{"ForwardTo29FebruaryOfALeapYear", true, "2004-2-28", "2004-2-29"},
                      StepCase{"ForwardTo29FebruaryOfACommonYear", true, "2005-2-28", "2005-2-29"},
                      StepCase{"ForwardFrom29February", true, "2004-2-29", "2004-3-1"},
                      StepCase{"ForwardOverTheYear", true, "2004-12-31", "2005-1-1"},
                      StepCase{"ForwardOutOfA30DayMonth", true, "2004-4-30", "2004-5-1"},
                      StepCase{"ForwardOutOfA31DayMonth", true, "2004-1-31", "2004-2-1"},
                      StepCase{"ForwardWithinA31DayMonth", true, "2004-5-30", "2004-5-31"},
                      StepCase{"ForwardFromAnEmptyBox", true, "", "2004-5-6"}),
    [](const ::testing::TestParamInfo<StepCase>& info) { return std::string(info.param.name); });

struct ChoiceCase {
    const char* name;
    std::string box;
    std::string day;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class ChosenDayTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChosenDayTest, PicksTheBoxOrToday) {
    const ChoiceCase& c = GetParam();
    EXPECT_EQ(chosen_day(c.box, today), c.day);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ChosenDayTest,
    ::testing::Values(ChoiceCase{"EmptyBoxIsToday", "", today}, ChoiceCase{"OneCharacterIsToday", "7", today},
                      ChoiceCase{"TwoCharactersAreTheDay", "77", "77"},
                      ChoiceCase{"ADateIsTheDay", "2004-2-29", "2004-2-29"},
                      // One character in three UTF-8 bytes is still one character.
                      ChoiceCase{"OneChineseCharacterIsToday", "\xE6\x97\xA5", today},
                      // Beyond the BMP a character takes two UTF-16 units, as in the box.
                      ChoiceCase{"OneCharacterBeyondTheBmpIsTheDay", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                      ChoiceCase{"NoDateIsUsedUnchecked", "abc", "abc"}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

} // namespace
