#include "platform/gbk.h"

#include <gtest/gtest.h>

namespace {

struct RoundTrip {
    const char* name;
    const char* utf8;
    const char* gbk_bytes;
};

class GbkRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(GbkRoundTrip, Utf8ToGbkAndBack) {
    const RoundTrip& c = GetParam();
    auto g = utf8_to_gbk(c.utf8);
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, c.gbk_bytes);
    auto back = gbk_to_utf8(*g);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, c.utf8);
}

const RoundTrip round_trips[] = {
    {"ascii", "hello 123", "hello 123"},
    {"chinese", "你好", "\xc4\xe3\xba\xc3"},
    {"header_words", "查询未发紧急", "\xb2\xe9\xd1\xaf\xce\xb4\xb7\xa2\xbd\xf4\xbc\xb1"},
    {"full_width_punctuation", "收信人不能为空！", "\xca\xd5\xd0\xc5\xc8\xcb\xb2\xbb\xc4\xdc\xce\xaa\xbf\xd5\xa3\xa1"},
    {"mixed", "a客b",
     "a\xbf\xcd"
     "b"},
    {"empty", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, GbkRoundTrip, ::testing::ValuesIn(round_trips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Gbk, Utf16RoundTrip) {
    auto units = gbk_to_utf16(gbk("你好a"));
    ASSERT_TRUE(units);
    EXPECT_EQ(*units, u"你好a");
    EXPECT_EQ(utf16_to_gbk(*units).value_or("x"), gbk("你好a"));
}

TEST(Gbk, TextGbkCannotHoldIsRefusedNotCut) {
    EXPECT_FALSE(utf8_to_gbk("ok \xF0\x9F\x98\x80 emoji")); // U+1F600
    EXPECT_FALSE(utf16_to_gbk(u"a\U0001F600"));
    EXPECT_FALSE(utf8_to_gbk("bad \xff utf8"));
}

TEST(Gbk, LossyConversionMarksEachUnconvertibleCharacter) {
    EXPECT_EQ(utf16_to_gbk_lossy(u"a\u0E01b你"), "a?b" + gbk("你")); // Thai has no GBK form
    EXPECT_EQ(gbk_to_utf8_lossy("a\xff"
                                "b"),
              "a?b");
}

TEST(Gbk, LiteralHelperGivesGbkBytes) {
    EXPECT_EQ(gbk("客户"), "\xbf\xcd\xbb\xa7");
}

} // namespace

TEST(Gbk, PrefixNeverEndsInsideACharacter) {
    const std::string text = "a" + gbk("你好") + "b";
    EXPECT_EQ(gbk_prefix(text, 0), "");
    EXPECT_EQ(gbk_prefix(text, 1), "a");
    EXPECT_EQ(gbk_prefix(text, 2), "a");
    EXPECT_EQ(gbk_prefix(text, 3), "a" + gbk("你"));
    EXPECT_EQ(gbk_prefix(text, 5), "a" + gbk("你好"));
    EXPECT_EQ(gbk_prefix(text, 99), text);
    EXPECT_EQ(gbk_prefix("a\xc4", 2), "a\xc4"); // a lone lead byte at the end is one byte
}
