#include "platform/clock.h"
#include "platform/text_ops.h"

#include <gtest/gtest.h>

namespace {

struct FieldCase {
    const char* name;
    const char* text;
    char sep;
    int k;
    int result;
    const char* out;
};

class FieldSplit : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldSplit, GivesFieldOrWholeText) {
    const FieldCase& c = GetParam();
    std::string out = "junk";
    EXPECT_EQ(field_split(c.text, c.sep, c.k, out), c.result);
    EXPECT_EQ(out, c.out);
}

const FieldCase field_cases[] = {
    {"first_field", "13566668888-13577779999-", '-', 1, 0, "13566668888"},
    {"second_field", "13566668888-13577779999-", '-', 2, 0, "13577779999"},
    {"last_field_without_trailing_separator", "a-b", '-', 2, -1, "a-b"},
    {"too_few_separators", "a-b-", '-', 3, -1, "a-b-"},
    {"k_zero", "a-b-", '-', 0, -1, "a-b-"},
    {"k_negative", "a-b-", '-', -2, -1, "a-b-"},
    {"empty_fields", "--", '-', 2, 0, ""},
    {"no_separator", "abc", ',', 1, -1, "abc"},
};

INSTANTIATE_TEST_SUITE_P(Table, FieldSplit, ::testing::ValuesIn(field_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextOps, RemoveByteAndCutAtLineEnd) {
    EXPECT_EQ(remove_byte(" 139 0000 0001 ", ' '), "13900000001");
    EXPECT_EQ(remove_byte("", ' '), "");
    EXPECT_EQ(cut_at_line_end("139\r\n138"), "139");
    EXPECT_EQ(cut_at_line_end("139\n138"), "139");
    EXPECT_EQ(cut_at_line_end("139\r"), "139");
    EXPECT_EQ(cut_at_line_end("139"), "139");
}

struct DecimalCase {
    const char* text;
    std::int64_t value;
};

class ParseDecimal : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ParseDecimal, ReadsLikeAtol) {
    EXPECT_EQ(parse_decimal(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseDecimal,
                         ::testing::Values(DecimalCase{"19200", 19200}, DecimalCase{"9600abc", 9600},
                                           DecimalCase{"abc", 0}, DecimalCase{"", 0}, DecimalCase{"  42", 42},
                                           DecimalCase{"-5", -5}, DecimalCase{"+7", 7}, DecimalCase{"0A", 0},
                                           DecimalCase{"12 34", 12},
                                           DecimalCase{"99999999999999999999999", INT64_MAX}));

TEST(ClockTexts, HaveNoLeadingZerosWhereTheFormatsSaySo) {
    LocalTime t{2004, 5, 6, 7, 1, 5};
    EXPECT_EQ(spool_date(t), "2004-5-6");
    EXPECT_EQ(time_text(t), "7:01:05");
    EXPECT_EQ(date_time_text(t), "2004-5-6 7:01:05");
    LocalTime u{2026, 12, 31, 23, 59, 59};
    EXPECT_EQ(date_time_text(u), "2026-12-31 23:59:59");
    LocalTime midnight{2026, 1, 1, 0, 0, 0};
    EXPECT_EQ(time_text(midnight), "0:00:00");
}

TEST(ClockTexts, RealClockGivesAPlausibleDate) {
    LocalTime t = real_clock().now();
    EXPECT_GE(t.year, 2024);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
}

} // namespace
