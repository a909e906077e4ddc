#include "platform/gbk.h"
#include "store/recipients.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct AddressCase {
    const char* name;
    std::string text;
    bool phone;
    bool reply;
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.name;
}

class Address : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Address, PhoneNumberAndReplyAddressRules) {
    EXPECT_EQ(is_phone_number(GetParam().text), GetParam().phone);
    EXPECT_EQ(is_reply_address(GetParam().text), GetParam().reply);
}

const AddressCase addresses[] = {
    {"eleven_digits", "13900000001", true, true},
    {"one_digit", "1", true, true},
    {"twelve_digits", "861390000000", true, true},
    {"thirteen_digits", "8613900000001", false, true},
    {"twenty_digits", std::string(20, '9'), false, true},
    {"twenty_one_digits", std::string(21, '9'), false, false},
    {"international_form", "+8613900000001", false, true},
    {"plus_alone", "+", false, false},
    {"plus_inside", "86+139", false, false},
    {"two_plus_signs", "++86139", false, false},
    {"empty", "", false, false},
    {"letters", "abc", false, false},
    {"blank_inside", "139 0000", false, false},
    {"line_end", "139\r", false, false},
    {"semicolon", "139;", false, false},
    {"alphanumeric_sender", "10086a", false, false},
    {"nul_byte", std::string("139\0", 4), false, false},
};

INSTANTIATE_TEST_SUITE_P(Table, Address, ::testing::ValuesIn(addresses),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoxCase {
    const char* name;
    std::string box; // GBK, CR LF between lines as the box holds them
    std::vector<std::string> unsendable;
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.name;
}

class BoxRecipients : public ::testing::TestWithParam<BoxCase> {};

TEST_P(BoxRecipients, LinesTheEngineCannotSendToAreNamed) {
    EXPECT_EQ(unsendable_recipients(GetParam().box), GetParam().unsendable);
}

const std::string token = gbk("客户") + "\x02" + gbk("采购部");

const BoxCase boxes[] = {
    {"one_number", "13900000001", {}},
    {"numbers_on_lines", "13900000001\r\n13800000002", {}},
    {"numbers_split_by_semicolons", "139;138;137", {}},
    {"semicolon_before_line_break", "13900000001;\r\n138", {}},
    {"trailing_semicolon", "139;", {}},
    {"blanks_inside_a_number", "139 0000 0001", {}},
    {"twelve_digits", "861390000000", {}},
    {"range", "13566668888-13577779999", {}},
    {"range_with_blanks", "135 6666 8888-13577779999", {}},
    {"customer_token", token, {}},
    {"customer_token_closed_by_semicolon", token + ";139", {}},
    {"empty_lines_name_nobody", "139\r\n\r\n \r\n138", {}},
    {"letters", "abc", {"abc"}},
    {"thirteen_digits", "8613900000001", {"8613900000001"}},
    {"bad_among_good", "139;abc\r\n138\r\nx-1", {"abc", "x-1"}},
    {"dash_not_twelfth", "1356666888-1357777999", {"1356666888-1357777999"}},
    {"bad_line_shown_as_typed", "13 9x", {"13 9x"}},
    {"text_after_kept_semicolon", "139;8\n138", {"139;8"}},
    {"lone_semicolon_before_line_break", ";\r\n139", {";"}},
    {"barred_looking_line", "*139", {"*139"}},
    {"tab_is_no_blank", "139\t1", {"139\t1"}},
    {"plus_sign", "+8613900000001", {"+8613900000001"}},
    {"chinese_name_without_token", gbk("张三"), {gbk("张三")}},
    {"start_up_hint",
     gbk(" 手机号每行一个或用';'隔开. \r\n或者输入号码段如：13566668888-13577779999"),
     {gbk(" 手机号每行一个或用'"), gbk("'隔开. "), gbk("或者输入号码段如：13566668888-13577779999")}},
};

INSTANTIATE_TEST_SUITE_P(Table, BoxRecipients, ::testing::ValuesIn(boxes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BoxRecipientLines, AreCutPreparedAndEmptyOnesLeftOut) {
    EXPECT_EQ(box_recipient_lines("139 0;138\r\n\r\n 137 ;\r\n"), (std::vector<std::string>{"1390", "138", "137;"}));
    EXPECT_EQ(box_recipient_lines(";\r\n"), std::vector<std::string>{";"});
    EXPECT_TRUE(box_recipient_lines("  \r\n ;").empty());
}

} // namespace
