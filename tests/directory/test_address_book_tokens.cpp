#include "directory/address_book_tokens.h"
#include "platform/gbk.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

namespace {

const std::string ann = customer_token("Shop", "Ann");

TEST(CustomerToken, JoinsCategoryAndNameWithByteTwo) {
    EXPECT_EQ(ann, std::string("Shop\x02"
                               "Ann"));
    EXPECT_EQ(customer_token(gbk("客户"), gbk("张三")), gbk("客户") + '\x02' + gbk("张三"));
}

struct PickCase {
    const char* name;
    std::string box;
    std::string token;
    std::optional<std::string> result;
};

void PrintTo(const PickCase& c, std::ostream* os) {
    *os << c.name;
}

class Pick : public ::testing::TestWithParam<PickCase> {};

TEST_P(Pick, AppendsOrLeavesTheBox) {
    const PickCase& c = GetParam();
    EXPECT_EQ(pick_customer(c.box, c.token), c.result);
}

const std::string bob = customer_token("Other", "Ann");

const PickCase pick_cases[] = {
    {"into an empty box", "", ann, ann + ";"},
    {"after typed numbers", "13900000001\r\n", ann, "13900000001\r\n" + ann + ";"},
    {"same customer again", ann + ";", ann, std::nullopt},
    {"same customer among others", "139;" + bob + ";" + ann + ";1380", ann, std::nullopt},
    {"token whose semicolon was deleted", ann, ann, ann + ann + ";"},
    {"same name in another category", ann + ";", bob, ann + ";" + bob + ";"},
    {"token inside a longer field", "x" + ann + ";", ann, "x" + ann + ";" + ann + ";"},
    {"token on the line under a number", "139\r\n" + ann + ";", ann, std::nullopt},
    {"token after a number on its line", "139 " + ann + ";", ann, "139 " + ann + ";" + ann + ";"},
    {"box of 1010 bytes", std::string(1010, '1'), ann, std::string(1010, '1') + ann + ";"},
    {"box of 1011 bytes", std::string(1011, '1'), ann, std::nullopt},
    {"long field before the token", std::string(300, '1') + ";" + ann + ";", ann, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, Pick, ::testing::ValuesIn(pick_cases), CaseName());

TEST(Pick, PickingTwiceKeepsOneToken) {
    std::string box = "139\r\n";
    box = pick_customer(box, ann).value();
    EXPECT_EQ(pick_customer(box, ann), std::nullopt);
    EXPECT_EQ(box, "139\r\n" + ann + ";");
}

TEST(Pick, LongTokensAreComparedWhole) {
    std::string long_a = customer_token("Shop", std::string(120, 'a'));
    std::string long_b = customer_token("Shop", std::string(119, 'a') + "b");
    std::string box = pick_customer("", long_a).value();
    EXPECT_EQ(pick_customer(box, long_a), std::nullopt);
    EXPECT_TRUE(pick_customer(box, long_b).has_value());
}

} // namespace
