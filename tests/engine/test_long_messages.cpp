#include "modem/pdu/pdu_concat.h"
#include "engine/outgoing/send_pass.h"
#include "engine/outgoing/submission.h"
#include "platform/gbk.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

std::string repeat_to(const std::string& utf8_unit, std::size_t characters) {
    std::string out;
    for (std::size_t i = 0; i < characters; ++i) {
        out += utf8_unit;
    }
    return out;
}

// The concatenation header of a submitted PDU of the standard variant: "RR CC SS", or "" for none.
std::string concat_fields(const std::string& pdu) {
    // 00, first octet, reference, address length, type, address, PID, DCS, validity, UDL.
    int first_octet = std::stoi(pdu.substr(2, 2), nullptr, 16);
    if ((first_octet & 0x40) == 0) {
        return "";
    }
    std::size_t digits = std::stoul(pdu.substr(6, 2), nullptr, 16);
    std::size_t user_data = 8 + 2 + (digits + 1) / 2 * 2 + 2 + 2 + 2 + 2;
    EXPECT_EQ(pdu.substr(user_data, 6), "050003");
    return pdu.substr(user_data + 6, 6);
}

class LongMessages : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.long_messages = true;
        port.standing(accepting_modem());
    }
    // A Chinese record's parts as the send pass makes them.
    std::vector<UserData> chinese_parts(const std::string& utf8) {
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk(utf8);
        return split_user_data(encode_ucs2(gbk(utf8)), false, 0).parts;
    }
};

TEST_F(LongMessages, PartsGoInOrderUnderOneReferenceAndTheRecipientIsReportedOnce) {
    std::vector<UserData> parts = chinese_parts(repeat_to("短", 300));
    ASSERT_EQ(parts.size(), 5u); // 67 characters a part
    submit_to_recipient(ctx, "13900000001", parts, 4, 0);
    std::vector<std::string> pdus = sent_pdus();
    ASSERT_EQ(pdus.size(), 5u);
    std::string reference = concat_fields(pdus[0]).substr(0, 2);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(concat_fields(pdus[i]), reference + "050" + std::to_string(i + 1)) << i;
    }
    EXPECT_EQ(report("SUCC"), "4.0," + time_text(clock.now()) + "   13900000001    " + gbk(repeat_to("短", 300)) +
                                  gbk("(5条)") + "\r\r\n");
    EXPECT_EQ(output.prepended(),
              std::vector<std::string>{"SMS Create Day: 2004-5-6     13900000001   0" + gbk("    发送成功.(5条)\r\n")});
}

TEST_F(LongMessages, APartThatFailsStopsTheRestAndTheRecipientFailsOnce) {
    std::vector<UserData> parts = chinese_parts(repeat_to("短", 150)); // three parts
    port.script({{"at+cmgs=", "\r\n> "},
                 {"00", "\r\n+CMGS: 1\r\n\r\nOK\r\n"}, // part 1 taken
                 {"at+cmgs=", "\r\n> "},
                 {"00", "\r\n+CMS ERROR: 38\r\n"}}); // part 2 refused
    submit_to_recipient(ctx, "13900000001", parts, 2, 0);
    EXPECT_EQ(sent_pdus().size(), 2u);
    EXPECT_EQ(report("SUCC"), "");
    EXPECT_EQ(report("FAIL").find("2.0,"), 0u);
    ASSERT_EQ(output.prepended().size(), 1u);
    EXPECT_TRUE(output.prepended()[0].ends_with(gbk("    发送失败!!!  +CMS ERROR: 38 网络故障\r\n")));
}

TEST_F(LongMessages, EveryRecipientGetsANewReference) {
    queue("13900000001\r\n13900000002", gbk(repeat_to("短", 100)));
    run_send_pass(ctx, 0, 1);
    std::vector<std::string> pdus = sent_pdus();
    ASSERT_EQ(pdus.size(), 4u);
    EXPECT_EQ(concat_fields(pdus[0]).substr(0, 2), concat_fields(pdus[1]).substr(0, 2));
    EXPECT_NE(concat_fields(pdus[0]).substr(0, 2), concat_fields(pdus[2]).substr(0, 2));
    EXPECT_EQ(concat_fields(pdus[2]).substr(0, 2), concat_fields(pdus[3]).substr(0, 2));
}

struct RecordCase {
    const char* name;
    bool long_messages;
    bool english;
    std::size_t characters;
    std::size_t pdus;
};

class LongRecord : public LongMessages, public ::testing::WithParamInterface<RecordCase> {};

// The record keeps the whole text; the engine splits it only with the option on.
TEST_P(LongRecord, TheSendPassSplitsOnlyWithTheOptionOn) {
    const RecordCase& c = GetParam();
    options.long_messages = c.long_messages;
    std::string text = c.english ? "\x02" + std::string(c.characters, 'e') + "   " : gbk(repeat_to("长", c.characters));
    queue("13900000001", text);
    run_send_pass(ctx, 0, 1);
    std::vector<std::string> pdus = sent_pdus();
    ASSERT_EQ(pdus.size(), c.pdus);
    EXPECT_EQ(concat_fields(pdus[0]).empty(), c.pdus == 1);
    EXPECT_FALSE(report("SUCC").empty());
}

const RecordCase records[] = {
    {"chinese_70_fits_one", true, false, 70, 1},
    {"chinese_71_takes_two", true, false, 71, 2},
    {"chinese_670_takes_ten", true, false, 670, 10},
    {"chinese_680_is_cut_to_ten", true, false, 680, 10},
    {"chinese_300_without_the_option_is_one_cut_message", false, false, 300, 1},
    {"english_157_and_three_blanks_fit_one", true, true, 157, 1},
    {"english_300_takes_two", true, true, 300, 2},
    {"english_160_drops_its_blanks_rather_than_take_a_second_part", true, true, 160, 1},
    {"english_300_without_the_option_is_one_cut_message", false, true, 300, 1},
};

INSTANTIATE_TEST_SUITE_P(Table, LongRecord, ::testing::ValuesIn(records),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

struct HeaderCase {
    const char* name;
    const char* user_data; // hex, header first
    bool found;
    int reference;
    int count;
    int sequence;
};

class ConcatHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ConcatHeader, IsReadFromAnyPlaceInTheHeader) {
    const HeaderCase& c = GetParam();
    std::optional<ConcatInfo> info = concat_info(c.user_data);
    ASSERT_EQ(info.has_value(), c.found);
    if (info) {
        EXPECT_EQ(info->reference, c.reference);
        EXPECT_EQ(info->count, c.count);
        EXPECT_EQ(info->sequence, c.sequence);
    }
}

const HeaderCase headers[] = {
    {"eight_bit_reference",
     "0500032A0302"
     "0041",
     true, 42, 3, 2},
    {"sixteen_bit_reference",
     "060804BEEF0403"
     "0041",
     true, 0xBEEF, 4, 3},
    {"after_another_element",
     "08"
     "0A0100"
     "0003070201"
     "0041",
     true, 7, 2, 1},
    {"count_zero",
     "0500032A0001"
     "0041",
     false, 0, 0, 0},
    {"part_past_the_count",
     "0500032A0203"
     "0041",
     false, 0, 0, 0},
    {"element_longer_than_the_header", "040003070201", false, 0, 0, 0},
    {"no_concatenation_element",
     "030A0100"
     "0041",
     false, 0, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, ConcatHeader, ::testing::ValuesIn(headers),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
