// A message the modem hands over more than once is stored, answered and hooked once: vmsmsd against the
// simulated modem, in real time.
#include "platform/gbk.h"
#include "store/catalogue_files.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class ReceivedOnceEndToEnd : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        make_catalogue_dir();
        ASSERT_TRUE(catalogue_write("12", gbk("今日价格：100元")));
        // The hook appends a line per received message.
        put_file("on-received.sh", "echo \"$VMSMS_RECORD $VMSMS_TEXT\" >> \"$1\"\n");
        put_file("server.txt", file_bytes("server.txt") + "[HOOKS]\r\nRECEIVED=/bin/sh " + dir() + "/on-received.sh " +
                                   dir() + "/received.txt\r\n");
    }
    std::string trace() { return file_bytes("sms.log"); }
    // Everything a query received once leaves behind: one record, one hook line, one answer sent.
    void expect_stored_answered_and_hooked_once() {
        ASSERT_TRUE(eventually([&] { return modem->sent_lines().size() >= 1; }, 30000)) << trace();
        EXPECT_EQ(file_bytes(day + "/recv/acc"), "1");
        EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*12");
        EXPECT_FALSE(exists(day + "/recv/DA2"));
        EXPECT_EQ(file_bytes(day + "/new/acc"), "1"); // one answer queued
        EXPECT_TRUE(eventually([&] { return !file_bytes("received.txt").empty(); }, 10000));
        EXPECT_EQ(file_bytes("received.txt"), "1 *12\n");
        EXPECT_EQ(modem->sent_lines().size(), 1u) << modem->sent_text();
    }
};

TEST_F(ReceivedOnceEndToEnd, AQueryTheModemListsAgainAfterItsDeleteIsStoredAnsweredAndHookedOnce) {
    ASSERT_EQ(modem->relist_after_delete(1).exit_code, 0);
    ASSERT_EQ(ctl({"deliver", "--from", "13900000001", "--text", "*12"}).exit_code, 0);
    start_gateway({"--responsive"});
    // The first delete leaves the message; the next listing holds it again and it is only deleted.
    ASSERT_TRUE(eventually([&] { return has(trace(), "received before: index=1 only deleted"); }, 30000)) << trace();
    ASSERT_TRUE(eventually([&] { return modem->stored_count() == 0; }, 30000)) << trace();
    expect_stored_answered_and_hooked_once();
}

TEST_F(ReceivedOnceEndToEnd, AQueryStoredBeforeTheGatewayWasKilledIsNotStoredAgainAfterTheRestart) {
    ASSERT_EQ(modem->hang_on_delete(true).exit_code, 0);
    ASSERT_EQ(ctl({"deliver", "--from", "13900000001", "--text", "*12"}).exit_code, 0);
    start_gateway({"--responsive"});
    // Stored and hooked; the modem never answers the delete, and the gateway dies waiting for it.
    ASSERT_TRUE(eventually([&] { return has(trace(), "at+cmgd=1") && !file_bytes("received.txt").empty(); }, 30000))
        << trace();
    gateway->signal(SIGKILL);
    gateway->wait(15000);
    ASSERT_EQ(file_bytes(day + "/recv/acc"), "1");
    ASSERT_EQ(modem->stored_count(), 1);

    ASSERT_EQ(modem->hang_on_delete(false).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return modem->stored_count() == 0; }, 30000)) << trace();
    EXPECT_TRUE(has(trace(), "received before: index=1 only deleted")) << trace();
    expect_stored_answered_and_hooked_once();
}

} // namespace
