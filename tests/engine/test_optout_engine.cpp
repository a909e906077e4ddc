#include "engine/incoming/inbox_pass.h"
#include "engine/outgoing/send_pass.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "store/optout_list.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class OptOutEngine : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        port.standing(accepting_modem());
    }
    void modem_lists(const std::vector<std::string>& pdus) {
        port.script({{"at+cmgl=4", modem_listing(pdus)}});
        port.standing(accepting_modem());
    }
    void keywords(const std::string& reply_utf8) {
        std::string reply = reply_utf8.empty() ? "" : "REPLY=" + gbk(reply_utf8) + "\r\n";
        put_file("server.txt", "[SET]\r\nCOM=/dev/null\r\n[OPTOUT]\r\nKEYWORDS=TD," + gbk("退订") + "\r\n" + reply);
    }
    std::string failure_monitor_line(const std::string& number, const char* why_utf8) const {
        return "SMS Create Day: 2004-5-6      " + number + "   0" + gbk("    发送失败!!!  ") + gbk(why_utf8) + "\r\n";
    }
    bool monitor_holds(const std::string& line) const {
        for (const std::string& shown : output.prepended()) {
            if (shown == line) {
                return true;
            }
        }
        ADD_FAILURE() << "no monitor line " << gbk_to_utf8_lossy(line) << " in:\n" << gbk_to_utf8_lossy(output.monitor());
        return false;
    }
};

// Listed numbers, in any spelling and inside a range, get no modem traffic and a failure line each; the
// others are sent to as before, with their own indices.
TEST_F(OptOutEngine, ListedRecipientsGetNothingAndAFailureLine) {
    ASSERT_EQ(add_optout("8613900000002", "2004-5-1", "TD"), OptOutChange::Done);
    ASSERT_EQ(add_optout("13566668889", "2004-5-1", "TD"), OptOutChange::Done);
    queue("13900000001\r\n+8613900000002\r\n13566668888-13566668890\r\n13900000003", gbk("你好"));
    run_send_pass(ctx, 0, 1);

    EXPECT_EQ(destinations(),
              (std::vector<std::string>{"8613900000001", "8613566668888", "8613566668890", "8613900000003"}));
    EXPECT_EQ(send_commands().size(), 4u);
    std::string failures = report("FAIL");
    EXPECT_NE(failures.find("1.1,"), std::string::npos) << failures;
    EXPECT_NE(failures.find("+8613900000002    " + gbk("你好")), std::string::npos) << failures;
    EXPECT_NE(failures.find("1.4,"), std::string::npos) << failures;
    EXPECT_NE(failures.find("13566668889    " + gbk("你好")), std::string::npos) << failures;
    EXPECT_EQ(failures.find("1.0,"), std::string::npos) << failures;
    EXPECT_TRUE(monitor_holds(failure_monitor_line("+8613900000002", "已退订")));
    EXPECT_TRUE(monitor_holds(failure_monitor_line("13566668889", "已退订")));
    EXPECT_EQ(file_bytes(day + "/send/acc"), "1");
}

TEST_F(OptOutEngine, AListThatCannotBeReadHoldsTheRecordBackFromEveryone) {
    put_file(optout_path, std::string("+8613900000009 2004-5-1 TD\r\n\0", 29));
    queue("13900000001\r\n13900000002", gbk("你好"));
    run_send_pass(ctx, 0, 1);
    EXPECT_TRUE(sent_pdus().empty());
    EXPECT_TRUE(monitor_holds(failure_monitor_line("13900000001", "退订名单无法读取")));
    EXPECT_TRUE(monitor_holds(failure_monitor_line("13900000002", "退订名单无法读取")));
    EXPECT_NE(trace_text().find("optout.txt cannot be read"), std::string::npos);
}

// A "TD" puts its sender on the list, is stored as received, and is confirmed; the confirmation goes to
// the number although it is listed now, and the next record to it does not.
TEST_F(OptOutEngine, AReceivedKeywordListsItsSenderAndIsConfirmed) {
    keywords("您已退订");
    modem_lists({deliver_pdu("13900000001", gbk("ＴＤ"), false), deliver_pdu("13900000002", "TD is great")});
    run_inbox_pass(ctx);

    EXPECT_EQ(read_record(day, SpoolDir::Recv, 1).content.value_or(""), gbk("ＴＤ"));
    EXPECT_EQ(read_record(day, SpoolDir::Recv, 2).content.value_or(""), "TD is great");
    EXPECT_EQ(file_bytes(optout_path), "+8613900000001 2004-5-6 " + gbk("ＴＤ") + "\r\n");
    EXPECT_EQ(file_bytes(day + "/new/acc"), "1");
    EXPECT_EQ(file_bytes(day + "/new/R1"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk("您已退订"));

    queue("13900000001\r\n13900000002", gbk("促销"));
    run_send_pass(ctx, 0, 2);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000001", "8613900000002"}));
    EXPECT_EQ(report("SUCC").find("1.0,"), 0u);
    EXPECT_TRUE(monitor_holds(failure_monitor_line("13900000001", "已退订")));
}

TEST_F(OptOutEngine, WithoutAReplyTextNothingIsQueued) {
    keywords("");
    modem_lists({deliver_pdu("13900000001", gbk("退 订"), false)});
    run_inbox_pass(ctx);
    EXPECT_EQ(file_bytes(optout_path).rfind("+8613900000001 2004-5-6 ", 0), 0u);
    EXPECT_FALSE(exists(day + "/new/acc"));
}

TEST_F(OptOutEngine, WithoutKeywordsATdIsOnlyAMessage) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/null\r\n[OPTOUT]\r\nREPLY=x\r\n");
    modem_lists({deliver_pdu("13900000001", "TD")});
    run_inbox_pass(ctx);
    EXPECT_EQ(read_record(day, SpoolDir::Recv, 1).content.value_or(""), "TD");
    EXPECT_FALSE(exists(optout_path));
    EXPECT_FALSE(exists(day + "/new/acc"));
}

// The customer asked: a query from a listed number is answered, and only that record goes through.
TEST_F(OptOutEngine, AQueryFromAListedNumberIsStillAnswered) {
    ASSERT_EQ(add_optout("13900000001", "2004-5-1", "TD"), OptOutChange::Done);
    make_catalogue_dir();
    ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
    modem_lists({deliver_pdu("13900000001", "*12")});
    run_inbox_pass(ctx);
    ASSERT_EQ(file_bytes(day + "/new/acc"), "1");
    EXPECT_EQ(file_bytes(day + "/send/optout-answers"), "1\r\n");

    queue("13900000001", gbk("促销"));
    run_send_pass(ctx, 0, 2);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000001"});
    EXPECT_EQ(report("SUCC").find("1.0,"), 0u);
    EXPECT_TRUE(monitor_holds(failure_monitor_line("13900000001", "已退订")));
}

TEST_F(OptOutEngine, AQueryFromAnUnlistedNumberLeavesNoNote) {
    make_catalogue_dir();
    ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
    ASSERT_EQ(add_optout("13900000005", "2004-5-1", "TD"), OptOutChange::Done);
    modem_lists({deliver_pdu("13900000001", "*12")});
    run_inbox_pass(ctx);
    ASSERT_EQ(file_bytes(day + "/new/acc"), "1");
    EXPECT_FALSE(exists(day + "/send/optout-answers"));
}

} // namespace
