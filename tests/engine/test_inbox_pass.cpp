#include "engine/incoming/inbox_pass.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

std::string deliver(const std::string& sender, const std::string& text, bool seven_bit = true,
                    SenderForm form = SenderForm::National) {
    return deliver_pdu(sender, text, seven_bit, form);
}

std::string listing(const std::vector<std::string>& pdus, bool blank_line = true) {
    return modem_listing(pdus, blank_line);
}

class InboxPass : public EngineFixture {
protected:
    void modem_lists(const std::string& text) {
        port.script({{"at+cmgl=4", text}});
        port.standing(accepting_modem());
    }
};

TEST_F(InboxPass, TwoMessagesAreStoredLoggedShownAndDeleted) {
    put_file(day + "/recv/acc", "4");
    modem_lists(listing(
        {deliver("13900000001", "hello"), deliver("8613900000002", gbk("你好"), false, SenderForm::International)}));
    run_inbox_pass(ctx);

    EXPECT_EQ(file_bytes(day + "/recv/R5"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/recv/DA5"), "hello");
    EXPECT_EQ(file_bytes(day + "/recv/R6"), "13900000002");
    EXPECT_EQ(file_bytes(day + "/recv/DA6"), gbk("你好"));
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "6");
    EXPECT_EQ(file_bytes(day + "/recv/H6").substr(0, 20), "[HEAD]\r\ntime=2004-5-");
    EXPECT_EQ(deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=2\r\n"}));
    // Listing: one wait and one short read; each message: 200 ms, 2800 ms and the delete answer's read.
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{3100, 3560, 200, 2800, 3560, 200, 2800, 3560}));

    std::string recv_log = report("RECV");
    EXPECT_NE(recv_log.find("5,7:01:11   13900000001   hello\r\r\n"), std::string::npos) << recv_log;
    EXPECT_NE(recv_log.find("   13900000002   " + gbk("你好") + "\r\r\n"), std::string::npos);
    std::vector<std::string> shown = output.prepended();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "5  : 2004-5-6 7:01:11          13900000001\r\n    hello\r\n\r\n");
    EXPECT_EQ(output.monitor().rfind("5  : ", 0), std::string::npos); // newest first
    EXPECT_EQ(output.monitor().rfind("6  : ", 0), 0u);
}

TEST_F(InboxPass, UsualLayoutWithoutBlankLineIsWalkedToo) {
    modem_lists(listing({deliver("13900000001", "a"), deliver("13900000001", "b")}, false));
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "b");
}

TEST_F(InboxPass, WavecomStartsAtLineThree) {
    options.device = DeviceType::Wavecom;
    modem_lists(listing({deliver("13900000001", "a")}, true));
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "a");
}

TEST_F(InboxPass, WavecomSettingStillReadsAListingWithoutTheBlankLine) {
    options.device = DeviceType::Wavecom;
    modem_lists(listing({deliver("13900000001", "a"), deliver("13900000001", "b")}, false));
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "a");
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "b");
}

TEST_F(InboxPass, EmptyStorageStoresNothing) {
    modem_lists("at+cmgl=4\r\n\r\nOK\r\n");
    run_inbox_pass(ctx);
    EXPECT_FALSE(exists(day + "/recv/acc"));
    EXPECT_TRUE(deletes().empty());
}

TEST_F(InboxPass, ListingWithoutOkResetsTheModemAndStillWalks) {
    port.script({{"at+cmgl=4", "at+cmgl=4\r\n\r\n+CMGL: 3,0,,20\r\n" + deliver("13900000001", "x") + "\r\n"}});
    port.standing(accepting_modem());
    run_inbox_pass(ctx);
    std::vector<PortWrite> writes = port.writes();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[1].bytes, "at\r\n");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "x");
    EXPECT_EQ(deletes(), std::vector<std::string>{"at+cmgd=3\r\n"});
    std::vector<int> sleeps = clock.sleeps();
    EXPECT_EQ(std::vector<int>(sleeps.begin(), sleeps.begin() + 6),
              (std::vector<int>{3100, 3560, 2000, 500, 1900, 3560}));
    EXPECT_NE(trace_text().find("/dev/ttyS0----read cmgl no 'OK'"), std::string::npos);
}

TEST_F(InboxPass, FastDeviceWaitsLess) {
    options.fast_device = true;
    modem_lists("at+cmgl=4\r\n\r\nOK\r\n");
    run_inbox_pass(ctx);
    EXPECT_EQ(clock.sleeps().at(0), 2600);
}

TEST_F(InboxPass, RepeatedFullChunkIsDroppedAndFilteringApplies) {
    std::string block(510, 'A');
    block += "\r\n";
    port.script({{"at+cmgl=4", block + block + "~tail OK\r\n"}});
    EXPECT_EQ(read_listing(ctx), block + "tail OK\r\n");
}

TEST_F(InboxPass, LongMonitorIsClearedBeforeTheNextMessage) {
    output.replace_monitor(std::string(20481, 'x'));
    modem_lists(listing({deliver("13900000001", "a")}));
    run_inbox_pass(ctx);
    EXPECT_EQ(output.monitor(), "1  : 2004-5-6 7:01:11          13900000001\r\n    a\r\n\r\n\r\n");
}

TEST_F(InboxPass, MessageThatCannotBeStoredStaysInTheModem) {
    std::filesystem::create_directory(day + "/recv/R1"); // R1 cannot be written
    modem_lists(listing({deliver("13900000001", "a")}));
    run_inbox_pass(ctx);
    EXPECT_TRUE(deletes().empty());
    EXPECT_NE(trace_text().find("filename_err="), std::string::npos);
}

struct ReplyCase {
    const char* name;
    bool members_only;
    const char* member_value; // nullptr: no entry
    const char* text;
    const char* reply_utf8; // nullptr: no reply
};

class OnDemandReply : public InboxPass, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(OnDemandReply, QueuesTheCatalogueTextForTheSender) {
    const ReplyCase& c = GetParam();
    options.members_only = c.members_only;
    make_catalogue_dir();
    ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
    if (c.member_value) {
        put_file("huiyuan.txt", std::string("[SET]\r\n13900000001=") + c.member_value + "\r\n");
    }
    modem_lists(listing({deliver("13900000001", c.text)}));
    run_inbox_pass(ctx);
    EXPECT_EQ(read_record(day, SpoolDir::Recv, 1).content.value_or(""), c.text); // stored either way
    if (c.reply_utf8) {
        EXPECT_EQ(file_bytes(day + "/new/acc"), "1");
        EXPECT_EQ(file_bytes(day + "/new/R1"), "13900000001");
        EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk(c.reply_utf8));
        EXPECT_NE(file_bytes(day + "/new/H1").find(gbk("type=查询\r\nstat=未发")), std::string::npos);
    } else {
        EXPECT_FALSE(exists(day + "/new/acc"));
    }
}

const ReplyCase reply_cases[] = {
    {"catalogue_hit", false, nullptr, "*12", "今日价格：100元"},
    {"code_with_line_break", false, nullptr, "*12\r\n", "今日价格：100元"},
    {"unknown_code", false, nullptr, "*99", "查询代码错误。"},
    {"empty_code", false, nullptr, "*", "查询代码错误。"},
    {"no_star", false, nullptr, " *12", nullptr},
    {"member", true, "1", "*12", "今日价格：100元"},
    {"member_with_empty_value", true, "", "*12", "今日价格：100元"},
    {"not_a_member", true, nullptr, "*12", nullptr},
    {"value_123219_is_no_member", true, "123219", "*12", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Table, OnDemandReply, ::testing::ValuesIn(reply_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InboxPass, ReplyGoesToTodayByTheClockAndTakesTheNextNumber) {
    ctx.state.spool_date = "2004-5-5"; // the engine still drains yesterday
    ensure_day_dirs("2004-5-5");
    ensure_day_dirs(day);
    put_file(day + "/new/acc", "7");
    modem_lists(listing({deliver("13900000001", "*1")}));
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes("2004-5-5/recv/DA1"), "*1");
    EXPECT_EQ(file_bytes(day + "/new/acc"), "8");
    EXPECT_EQ(file_bytes(day + "/new/R8"), "13900000001");
}

// A catalogue text longer than a reply takes is cut before the character that would not fit whole: a
// cut Chinese character reaches the phone as '?'.
TEST_F(InboxPass, LongCatalogueTextIsCutOnACharacterBoundary) {
    make_catalogue_dir();
    std::string chinese_71;
    for (int i = 0; i < 71; ++i) {
        chinese_71 += gbk("价");
    }
    ASSERT_TRUE(catalogue_write("12", chinese_71));
    ASSERT_TRUE(catalogue_write("13", "a" + chinese_71));
    modem_lists(listing({deliver("13900000001", "*12"), deliver("13900000002", "*13")}));
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(day + "/new/DA1"), chinese_71.substr(0, 138)); // 69 characters
    EXPECT_EQ(file_bytes(day + "/new/DA2"), "a" + chinese_71.substr(0, 138));
}

} // namespace
