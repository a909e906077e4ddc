// The operator's programs run by vmsmsd on events, against the simulated modem, in real time.
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class HooksEndToEnd : public GatewayTest {
protected:
    void hooks(const std::string& section) {
        put_file("server.txt", file_bytes("server.txt") + "[HOOKS]\r\n" + section);
    }
};

TEST_F(HooksEndToEnd, AReceivedAndASentMessageRunTheirProgramsWithTheMessage) {
    put_file("on-event.sh", "env | grep '^VMSMS_' | sort > \"$1.txt\"\n");
    hooks("RECEIVED=/bin/sh " + dir() + "/on-event.sh " + dir() + "/received\r\nSENT=/bin/sh " + dir() +
          "/on-event.sh " + dir() + "/sent\r\n");
    ASSERT_EQ(send({"--to", "13900000002", "出货通知"}).exit_code, 0);
    ASSERT_EQ(ctl({"deliver", "--from", "13900000001", "--text", "收到，谢谢"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(
        eventually([&] { return !file_bytes("received.txt").empty() && !file_bytes("sent.txt").empty(); }, 20000))
        << file_bytes("sms.log");
    EXPECT_EQ(file_bytes("received.txt"), "VMSMS_DAY=" + day + "\nVMSMS_EVENT=RECEIVED\nVMSMS_EVENT_ID=" + day +
                                              "-received-1\nVMSMS_INDEX=0\n"
                                              "VMSMS_NUMBER=13900000001\nVMSMS_PARTS=1\nVMSMS_RECORD=1\n"
                                              "VMSMS_TEXT=收到，谢谢\n");
    EXPECT_EQ(file_bytes("sent.txt"), "VMSMS_DAY=" + day + "\nVMSMS_EVENT=SENT\nVMSMS_EVENT_ID=" + day +
                                          "-sent-1-0\nVMSMS_INDEX=0\n"
                                          "VMSMS_NUMBER=13900000002\nVMSMS_PARTS=1\nVMSMS_RECORD=1\n"
                                          "VMSMS_TEXT=出货通知\n");
}

TEST_F(HooksEndToEnd, ARefusedRecipientRunsTheFailedProgramAndTheNextOneTheSentProgram) {
    put_file("on-event.sh", "env | grep '^VMSMS_' | sort > \"$1.txt\"\n");
    hooks("FAILED=/bin/sh " + dir() + "/on-event.sh " + dir() + "/failed\r\nSENT=/bin/sh " + dir() + "/on-event.sh " +
          dir() + "/sent\r\n");
    ASSERT_EQ(ctl({"fault", "fail", "1"}).exit_code, 0);
    ASSERT_EQ(send({"--english", "--to", "13900000001", "--to", "13900000002", "stock low"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return !file_bytes("failed.txt").empty() && !file_bytes("sent.txt").empty(); }, 20000))
        << file_bytes("sms.log");
    EXPECT_EQ(file_bytes("failed.txt"), "VMSMS_DAY=" + day + "\nVMSMS_EVENT=FAILED\nVMSMS_EVENT_ID=" + day +
                                            "-failed-1-0\nVMSMS_INDEX=0\n"
                                            "VMSMS_NUMBER=13900000001\nVMSMS_PARTS=1\nVMSMS_RECORD=1\n"
                                            "VMSMS_TEXT=stock low\n");
    EXPECT_EQ(file_bytes("sent.txt"), "VMSMS_DAY=" + day + "\nVMSMS_EVENT=SENT\nVMSMS_EVENT_ID=" + day +
                                          "-sent-1-1\nVMSMS_INDEX=1\n"
                                          "VMSMS_NUMBER=13900000002\nVMSMS_PARTS=1\nVMSMS_RECORD=1\n"
                                          "VMSMS_TEXT=stock low\n");
}

TEST_F(HooksEndToEnd, AHookThatHangsIsStoppedAndTheEngineGoesOn) {
    put_file("hang.sh", "sleep 60\n");
    hooks("SENT=/bin/sh " + dir() + "/hang.sh\r\nTIMEOUT=1\r\n");
    for (const char* number : {"13900000001", "13900000002", "13900000003"}) {
        ASSERT_EQ(send({"--to", number, "hi"}).exit_code, 0);
    }
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "3"; }, 20000)) << file_bytes("sms.log");
    EXPECT_EQ(modem->sent_lines().size(), 3u);
    EXPECT_TRUE(eventually([&] { return has(file_bytes("sms.log"), "still running after 1 s: stopped"); }, 10000))
        << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0); // a stop with hooks running still ends cleanly
}

} // namespace
