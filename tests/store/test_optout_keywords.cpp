#include "platform/gbk.h"
#include "store/optout_keywords.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct MatchCase {
    const char* name;
    std::string text; // UTF-8 here, GBK when matched
    bool opt_out;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
    *os << c.name;
}

class OptOutMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(OptOutMatch, OnlyAWholeMessageThatIsAKeywordCounts) {
    const MatchCase& c = GetParam();
    OptOutKeywords keywords = parse_optout_keywords(gbk("TD,退订,STOP,取消"), "");
    EXPECT_EQ(keywords.matches(gbk(c.text)), c.opt_out);
}

const MatchCase match_cases[] = {
    {"upper", "TD", true},
    {"lower", "td", true},
    {"mixed", "Td", true},
    {"chinese", "退订", true},
    {"other_chinese", "取消", true},
    {"full_width_letters", "ＴＤ", true},
    {"full_width_lower", "ｓｔｏｐ", true},
    {"full_width_mixed", "ｔD", true},
    {"ascii_blanks_around", "  TD  ", true},
    {"blank_inside", "T D", true},
    {"full_width_blank", "\u3000退\u3000订\u3000", true},
    {"line_break_after", "STOP\r\n", true},
    {"tab", "\tstop", true},
    {"keyword_in_text", "TD is great", false},
    {"keyword_after_text", "回TD退订", false},
    {"keyword_twice", "TDTD", false},
    {"punctuation", "TD!", false},
    {"other_word", "STOPP", false},
    {"empty", "", false},
    {"blanks_only", "   ", false},
    {"query_code", "*12", false},
};
INSTANTIATE_TEST_SUITE_P(Table, OptOutMatch, ::testing::ValuesIn(match_cases), CaseName());

TEST(OptOutKeywordsSetting, KeywordsAreFoldedAndBadOnesNoted) {
    OptOutKeywords keywords = parse_optout_keywords(
        gbk(" ｔｄ ，,  Stop ,") + std::string("\xff\xff") + ",ABCDEFGHIJKLMNOPQ", gbk("  已退订  "));
    EXPECT_TRUE(keywords.matches("TD"));
    EXPECT_TRUE(keywords.matches("stop"));
    EXPECT_FALSE(keywords.matches("ABCDEFGHIJKLMNOPQ"));
    EXPECT_EQ(keywords.problems.size(), 2u);
    EXPECT_EQ(keywords.reply, gbk("已退订"));
}

TEST(OptOutKeywordsSetting, NoKeywordsMatchNothing) {
    OptOutKeywords keywords = parse_optout_keywords("", gbk("已退订"));
    EXPECT_FALSE(keywords.on());
    EXPECT_FALSE(keywords.matches("TD"));
    EXPECT_FALSE(keywords.matches(""));
}

TEST(OptOutKeywordsSetting, NumbersInFullWidthAreDigits) {
    OptOutKeywords keywords = parse_optout_keywords("0000", "");
    EXPECT_TRUE(keywords.matches(gbk("００００")));
    EXPECT_FALSE(keywords.matches(gbk("0000 0")));
}

TEST(OptOutKeywordsSetting, AVeryLongTextIsNeverAKeyword) {
    OptOutKeywords keywords = parse_optout_keywords("TD", "");
    EXPECT_FALSE(keywords.matches(std::string(most_matched_bytes, ' ') + "TD"));
    EXPECT_TRUE(keywords.matches(std::string(most_matched_bytes - 2, ' ') + "TD"));
}

class OptOutKeywordsFile : public TempDirTest {};

TEST_F(OptOutKeywordsFile, ReadsSectionOptOutOfServerTxt) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/null\r\n[OPTOUT]\r\nKEYWORDS=TD," + gbk("退订") +
                               "\r\nREPLY=" + gbk("您已退订") + "\r\n");
    OptOutKeywords keywords = read_optout_keywords();
    EXPECT_TRUE(keywords.matches(gbk("退订")));
    EXPECT_TRUE(keywords.matches("td"));
    EXPECT_EQ(keywords.reply, gbk("您已退订"));
}

TEST_F(OptOutKeywordsFile, NoSectionIsOff) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/null\r\n");
    EXPECT_FALSE(read_optout_keywords().on());
}

} // namespace
