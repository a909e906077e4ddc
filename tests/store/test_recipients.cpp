#include "platform/gbk.h"
#include "store/recipients.h"
#include "support/hostile_input.h"
#include "support/temp_dir.h"

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
    {"international_form", "+8613900000001", true, true},
    {"foreign_international_form", "+447700900123", true, true},
    {"fifteen_digit_international", "+" + std::string(15, '9'), true, true},
    {"sixteen_digit_international", "+" + std::string(16, '9'), false, true},
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

// In a directory whose address book lists the category 客户 beside a few traps.
class BoxRecipients : public TempDirTest, public ::testing::WithParamInterface<BoxCase> {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        make_hostile_directory();
    }
};

TEST_P(BoxRecipients, LinesTheEngineCannotSendToAreNamed) {
    EXPECT_EQ(unsendable_recipients(GetParam().box), GetParam().unsendable);
}

// A customer of the category the test directory lists.
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
    {"international_numbers", "+8613900000001\r\n+447700900123", {}},
    {"international_with_blanks", "+44 7700 900123", {}},
    {"two_plus_signs", "++8613900000001", {"++8613900000001"}},
    {"plus_alone", "+", {"+"}},
    {"sixteen_digit_international", "+8613900000001234", {"+8613900000001234"}},
    {"plus_inside", "86+13900000001", {"86+13900000001"}},
    {"chinese_name_without_token", gbk("张三"), {gbk("张三")}},
    {"token_of_unlisted_category", gbk("未列出") + "\x02" + gbk("采购部"), {gbk("未列出") + "\x02" + gbk("采购部")}},
    {"token_leading_out", "../fifo\x02x", {"../fifo\x02x"}},
    {"token_of_hidden_category", "." + token, {"." + token}},
    {"token_with_empty_customer", gbk("客户") + "\x02", {gbk("客户") + "\x02"}},
    {"token_whose_file_is_a_fifo", gbk("管道") + "\x02x", {gbk("管道") + "\x02x"}},
    {"token_whose_file_links_out", gbk("外链") + "\x02x", {gbk("外链") + "\x02x"}},
    {"range_reversed", "13900000009-13900000001", {"13900000009-13900000001"}},
    {"range_of_letters", "aaaaaaaaaaa-bbbb", {"aaaaaaaaaaa-bbbb"}},
    {"range_ends_of_unequal_length", "13900000000-1390000000", {"13900000000-1390000000"}},
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

namespace {

struct CountCase {
    const char* name;
    std::string box;
    std::uint64_t count;
};

class RecipientCount : public ::testing::TestWithParam<CountCase> {};

// The cap on one message counts what the engine will send to, not the lines typed.
TEST_P(RecipientCount, RangesCountTheirMembers) {
    EXPECT_EQ(recipient_count(GetParam().box), GetParam().count);
}

const CountCase counts[] = {
    {"numbers", "139;138\r\n137", 3},
    {"blank_lines_count_nothing", "139\r\n\r\n \r\n138", 2},
    {"range", "13900000001-13900000100", 100},
    {"hundred_million", "13900000000-13999999999", 100000000},
    {"bad_range_is_one_line", "13900000009-13900000001", 1},
};

INSTANTIATE_TEST_SUITE_P(Table, RecipientCount, ::testing::ValuesIn(counts),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
