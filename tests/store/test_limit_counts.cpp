#include "store/limit_counts.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

const LocalTime noon{2026, 12, 11, 12, 0, 0};

long long at(const LocalTime& t, int plus_seconds = 0) {
    return seconds_of(t) + plus_seconds;
}

struct HoldCase {
    const char* name;
    SendLimits limits;
    std::vector<int> sent_seconds_ago; // one message each (the last hour's entries)
    long day_count;
    long month_count;
    int parts;
    bool new_recipient;
    std::size_t distinct;
    std::string limit; // "" when the message may go
    long long until;
};

void PrintTo(const HoldCase& c, std::ostream* os) {
    *os << c.name;
}

SendLimits with(std::optional<long> minute, std::optional<long> hour = {}, std::optional<long> day = {},
                std::optional<long> month = {}, std::optional<long> recipients = {}) {
    SendLimits limits;
    limits.per_minute = minute;
    limits.per_hour = hour;
    limits.per_day = day;
    limits.per_month = month;
    limits.recipients_per_month = recipients;
    return limits;
}

class LimitHolds : public ::testing::TestWithParam<HoldCase> {};

// Each limit holds exactly until the message fits again; nothing else holds it.
TEST_P(LimitHolds, UntilTheMessageFits) {
    const HoldCase& c = GetParam();
    LimitCounts counts{spool_date(noon), c.day_count, month_key(noon), c.month_count, {}};
    for (int ago : c.sent_seconds_ago) {
        counts.recent.push_back(at(noon, -ago));
    }
    std::optional<LimitHold> hold = limit_hold(c.limits, counts, noon, c.parts, c.new_recipient, c.distinct);
    if (c.limit.empty()) {
        EXPECT_FALSE(hold) << hold->limit;
        return;
    }
    ASSERT_TRUE(hold);
    EXPECT_EQ(hold->limit, c.limit);
    EXPECT_EQ(hold->until, c.until) << date_time_text(local_time_of(hold->until));
}

const LocalTime midnight{2026, 12, 12, 0, 0, 0};
const LocalTime new_year{2027, 1, 1, 0, 0, 0};

const HoldCase hold_cases[] = {
    {"minute_room_left", with(3), {50, 10}, 2, 2, 1, false, 0, "", 0},
    {"minute_full_until_oldest_leaves", with(3), {50, 30, 10}, 3, 3, 1, false, 0, "PER_MINUTE", at(noon, 10)},
    {"minute_old_entries_do_not_count", with(3), {3000, 61, 60}, 3, 3, 1, false, 0, "", 0},
    {"minute_two_parts_wait_for_two_to_leave", with(3), {50, 30, 10}, 3, 3, 2, false, 0, "PER_MINUTE", at(noon, 30)},
    {"minute_bigger_than_limit_goes_alone", with(2), {}, 0, 0, 5, false, 0, "", 0},
    {"hour_full", with({}, 2), {3500, 100}, 2, 2, 1, false, 0, "PER_HOUR", at(noon, 100)},
    {"hour_and_minute_latest_wins", with(2, 3), {3000, 20, 10}, 3, 3, 1, false, 0, "PER_HOUR", at(noon, 600)},
    {"day_full_until_midnight", with({}, {}, 100), {}, 100, 100, 1, false, 0, "PER_DAY", seconds_of(midnight)},
    {"day_long_message_past_the_cap", with({}, {}, 100), {}, 98, 98, 3, false, 0, "PER_DAY", seconds_of(midnight)},
    {"day_room_left", with({}, {}, 100), {}, 99, 99, 1, false, 0, "", 0},
    {"month_full_until_next_month", with({}, {}, {}, 500), {}, 0, 500, 1, false, 0, "PER_MONTH", seconds_of(new_year)},
    {"recipients_new_number_held",
     with({}, {}, {}, {}, 250),
     {},
     0,
     0,
     1,
     true,
     250,
     "RECIPIENTS_PER_MONTH",
     seconds_of(new_year)},
    {"recipients_known_number_goes", with({}, {}, {}, {}, 250), {}, 0, 0, 1, false, 250, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, LimitHolds, ::testing::ValuesIn(hold_cases), CaseName());

struct QuietCase {
    const char* name;
    std::string span;
    LocalTime now;
    std::optional<LocalTime> until;
};

void PrintTo(const QuietCase& c, std::ostream* os) {
    *os << c.name;
}

class QuietHours : public ::testing::TestWithParam<QuietCase> {};

TEST_P(QuietHours, HoldUntilTheSpanEnds) {
    SendLimits limits;
    limits.quiet = parse_quiet_span(GetParam().span);
    ASSERT_TRUE(limits.quiet);
    std::optional<LimitHold> hold = quiet_hold(limits, GetParam().now);
    ASSERT_EQ(hold.has_value(), GetParam().until.has_value());
    if (hold) {
        EXPECT_EQ(hold->until, seconds_of(*GetParam().until)) << date_time_text(local_time_of(hold->until));
    }
}

const QuietCase quiet_cases[] = {
    {"night_before_midnight", "21:00-08:00", {2026, 12, 31, 23, 30, 0}, LocalTime{2027, 1, 1, 8, 0, 0}},
    {"night_after_midnight", "21:00-08:00", {2026, 12, 11, 7, 59, 59}, LocalTime{2026, 12, 11, 8, 0, 0}},
    {"night_starts_at_its_minute", "21:00-08:00", {2026, 12, 11, 21, 0, 0}, LocalTime{2026, 12, 12, 8, 0, 0}},
    {"night_ends_at_its_minute", "21:00-08:00", {2026, 12, 11, 8, 0, 0}, std::nullopt},
    {"day_outside", "21:00-08:00", {2026, 12, 11, 20, 59, 59}, std::nullopt},
    {"lunch_inside", "12:00-13:30", {2026, 12, 11, 13, 29, 0}, LocalTime{2026, 12, 11, 13, 30, 0}},
    {"lunch_outside", "12:00-13:30", {2026, 12, 11, 11, 59, 0}, std::nullopt},
    {"to_midnight", "22:00-24:00", {2026, 12, 11, 23, 0, 0}, LocalTime{2026, 12, 12, 0, 0, 0}},
};

INSTANTIATE_TEST_SUITE_P(Cases, QuietHours, ::testing::ValuesIn(quiet_cases), CaseName());

TEST(QuietSpanText, RefusesWhatIsNoSpan) {
    for (const char* text : {"", "21:00", "21:00-21:00", "25:00-08:00", "21:60-08:00", "9-10", "21:00-08:00x"}) {
        EXPECT_FALSE(parse_quiet_span(text)) << text;
    }
}

class LimitCountFiles : public TempDirTest {};

// What an engine counted is what the next one reads; a new day or month starts from nothing, and the
// month's numbers keep what a crash cut short out.
TEST_F(LimitCountFiles, SurviveARestartAndStartAfreshWithTheCalendar) {
    LimitCounts counts = read_limit_counts().value();
    count_sent(counts, noon, 3);
    count_sent(counts, LocalTime{2026, 12, 11, 12, 0, 30}, 1);
    ASSERT_TRUE(write_limit_counts(counts));
    LimitCounts again = read_limit_counts().value();
    EXPECT_EQ(again.day_count, 4);
    EXPECT_EQ(again.month_count, 4);
    EXPECT_EQ(sent_within(again, at(noon, 30), 60), 4);
    EXPECT_EQ(sent_within(again, at(noon, 61), 60), 1);

    LimitCounts tomorrow = counts_as_of(again, LocalTime{2026, 12, 12, 0, 0, 1});
    EXPECT_EQ(tomorrow.day_count, 0);
    EXPECT_EQ(tomorrow.month_count, 4);
    EXPECT_TRUE(tomorrow.recent.empty());
    EXPECT_EQ(counts_as_of(again, new_year).month_count, 0);

    ASSERT_TRUE(note_month_recipient("2026-12", "+8613900000001"));
    ASSERT_TRUE(note_month_recipient("2026-12", "+447700900123"));
    put_file(month_recipients_path("2026-12"), file_bytes(month_recipients_path("2026-12")) + "+86139"); // cut
    EXPECT_EQ(read_month_recipients("2026-12"), (std::set<std::string>{"+8613900000001", "+447700900123"}));
    // The next number is not lost to the cut line; the cut line may count as one more number, which errs on
    // the safe side of the limit.
    ASSERT_TRUE(note_month_recipient("2026-12", "+8613900000002"));
    std::set<std::string> numbers = read_month_recipients("2026-12");
    EXPECT_TRUE(numbers.contains("+8613900000002"));
    EXPECT_EQ(numbers.size(), 4u);
}

// Each SIM of a pool counts into its own files; MODEM1 keeps the files of a gateway of one modem.
TEST_F(LimitCountFiles, EachModemOfAPoolKeepsItsOwnCounts) {
    LimitCounts two;
    count_sent(two, noon, 2);
    ASSERT_TRUE(write_limit_counts(two, "MODEM2"));
    ASSERT_TRUE(note_month_recipient("2026-12", "+8613900000002", "MODEM2"));
    EXPECT_TRUE(exists("limits-MODEM2.txt"));
    EXPECT_TRUE(exists("limits-recipients-MODEM2-2026-12.txt"));

    EXPECT_EQ(read_limit_counts()->day_count, 0);
    EXPECT_EQ(read_limit_counts("MODEM1")->day_count, 0);
    EXPECT_EQ(read_limit_counts("MODEM3")->day_count, 0);
    EXPECT_EQ(read_limit_counts("MODEM2")->day_count, 2);
    EXPECT_TRUE(read_month_recipients("2026-12").empty());
    EXPECT_EQ(read_month_recipients("2026-12", "MODEM2"), std::set<std::string>{"+8613900000002"});

    LimitCounts one;
    count_sent(one, noon, 1);
    ASSERT_TRUE(write_limit_counts(one, "MODEM1"));
    EXPECT_EQ(read_limit_counts()->day_count, 1) << "MODEM1 writes limits.txt";
    EXPECT_EQ(limit_counts_file("../x"), "limits-x.txt") << "a name is never a path";
}

} // namespace
