// International recipients through the engine, and senders compared in every form they are written in.
#include "engine/incoming/inbox_pass.h"
#include "engine/outgoing/submission.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/customer_files.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

class NumberForms : public EngineFixture {
protected:
    // A Chinese record: 你好 as UCS-2.
    UserData chinese() {
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk("你好");
        return {"4F60597D", 0};
    }
};

struct RecipientCase {
    const char* name;
    const char* country; // COUNTRY of server.txt; nullptr: none
    std::string recipient;
    DeviceType device;
    std::string pdu;    // empty: nothing may be sent
    std::string why;    // the outcome's reason when nothing is sent
    std::string number; // the number the report line names when it is sent
};

void PrintTo(const RecipientCase& c, std::ostream* os) {
    *os << c.name;
}

class InternationalRecipient : public NumberForms, public ::testing::WithParamInterface<RecipientCase> {};

TEST_P(InternationalRecipient, GoesOutWithItsOwnDigitsOrNotAtAll) {
    const RecipientCase& c = GetParam();
    std::string country = c.country ? std::string("COUNTRY=") + c.country + "\r\n" : std::string();
    put_file("server.txt", "[SET]\r\nSMSCODE=8613800000500\r\n" + country);
    make_customer_dir();
    ASSERT_TRUE(category_write(gbk("客户"), gbk("伦敦"), std::string("+447700900123")));
    options.device = c.device;
    port.standing(accepting_modem());
    RecipientOutcome outcome = submit_to_recipient(ctx, c.recipient, chinese(), 1, 0);
    if (c.pdu.empty()) {
        EXPECT_FALSE(outcome.sent);
        EXPECT_EQ(outcome.result, c.why);
        EXPECT_TRUE(port.writes().empty());
        return;
    }
    EXPECT_TRUE(outcome.sent) << outcome.result;
    EXPECT_EQ(sent_pdus(), std::vector<std::string>{c.pdu});
    EXPECT_NE(report("SUCC").find("   " + c.number + "    "), std::string::npos) << report("SUCC");
}

const RecipientCase recipients[] = {
    {"standard", nullptr, "+447700900123", DeviceType::Wavecom, "0011000C91447700091032000830044F60597D", "",
     "+447700900123"},
    {"standard_86", nullptr, "+8613900000001", DeviceType::Other, "0011000D91683109000000F1000830044F60597D", "",
     "+8613900000001"},
    {"siemens", nullptr, "+447700900123", DeviceType::Siemens, "0891683108000005F011000C914477000910320008A7044F60597D",
     "", "+447700900123"},
    {"customer_with_an_international_number", nullptr, gbk("客户") + "\x02" + gbk("伦敦"), DeviceType::Wavecom,
     "0011000C91447700091032000830044F60597D", "", "+447700900123"},
    {"sixteen_digits", nullptr, "+8613900000001234", DeviceType::Wavecom, "", "号码超过12位", ""},
    {"plus_alone", nullptr, "+", DeviceType::Wavecom, "", "不是手机号码", ""},
    {"two_plus_signs", nullptr, "++447700900123", DeviceType::Wavecom, "", "号码超过12位", ""},
    // The national numbers of another home country take its code; Siemens sends them as they stand.
    {"national_of_another_country", "44", "7700900123", DeviceType::Wavecom, "0011000C91447700091032000830044F60597D",
     "", "7700900123"},
    {"siemens_national_of_another_country", "44", "7700900123", DeviceType::Siemens,
     "0891683108000005F011000A8177000910320008A7044F60597D", "", "7700900123"},
    {"international_86_of_another_country", "44", "+8613900000001", DeviceType::Wavecom,
     "0011000D91683109000000F1000830044F60597D", "", "+8613900000001"},
};

INSTANTIATE_TEST_SUITE_P(Table, InternationalRecipient, ::testing::ValuesIn(recipients),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReplyCase {
    const char* name;
    const char* country;       // COUNTRY of server.txt; nullptr: none
    std::string sender_digits; // as the network sends them
    SenderForm form;
    const char* member;   // the members file's spelling of the sender; nullptr: members only is off
    const char* reply_to; // R1 of the reply; nullptr: no reply
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class QueryFromANumber : public NumberForms, public ::testing::WithParamInterface<ReplyCase> {};

// The reply goes back in the form the sender can be reached in, and a member is known whatever form
// the members file writes the number in.
TEST_P(QueryFromANumber, IsAnsweredAtItsNumber) {
    const ReplyCase& c = GetParam();
    if (c.country) {
        put_file("server.txt", std::string("[SET]\r\nCOUNTRY=") + c.country + "\r\n");
    }
    options.members_only = c.member != nullptr;
    if (c.member) {
        put_file("huiyuan.txt", std::string("[SET]\r\n") + c.member + "=1\r\n");
    }
    make_catalogue_dir();
    ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
    port.script({{"at+cmgl=4", modem_listing({deliver_pdu(c.sender_digits, "*12", true, c.form)})}});
    port.standing(accepting_modem());
    run_inbox_pass(ctx);
    if (c.reply_to) {
        EXPECT_EQ(file_bytes(day + "/new/R1"), c.reply_to);
        EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk("今日价格：100元"));
    } else {
        EXPECT_FALSE(exists(day + "/new/acc"));
    }
}

const ReplyCase replies[] = {
    {"home_sender", nullptr, "8613900000001", SenderForm::International, nullptr, "13900000001"},
    {"foreign_sender", nullptr, "447700900123", SenderForm::International, nullptr, "+447700900123"},
    {"home_sender_of_another_country", "44", "447700900123", SenderForm::International, nullptr, "7700900123"},
    {"86_sender_abroad", "44", "8613900000001", SenderForm::International, nullptr, "+8613900000001"},
    {"member_listed_national", nullptr, "8613900000001", SenderForm::International, "13900000001", "13900000001"},
    {"member_listed_with_country_code", nullptr, "8613900000001", SenderForm::International, "8613900000001",
     "13900000001"},
    {"member_listed_international", nullptr, "13900000001", SenderForm::National, "+8613900000001", "13900000001"},
    {"foreign_member_listed_without_plus", nullptr, "447700900123", SenderForm::International, "447700900123",
     "+447700900123"},
    {"other_number_is_no_member", nullptr, "8613900000002", SenderForm::International, "+8613900000001", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Table, QueryFromANumber, ::testing::ValuesIn(replies),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
