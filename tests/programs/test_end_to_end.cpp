// The gateway without a window (vmsmsd) against the simulated modem, in real time.
#include "platform/clock.h"
#include "platform/gbk.h"
#include "platform/text_file.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class EndToEnd : public GatewayTest {
protected:
    std::vector<std::string> submissions() { return modem->sent_lines(); }
};

TEST_F(EndToEnd, QueuedMessageAndQueryReplyReachTheModem) {
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\n12=" + gbk("今日价格：100元") + "\r\n");
    ASSERT_EQ(send({"--english", "--to", "13900000001", "hello"}).out, "1\n");
    ASSERT_EQ(ctl({"deliver", "--from", "+8613900000002", "--text", "*12"}).exit_code, 0);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 90000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);

    std::vector<std::string> sent = submissions();
    EXPECT_TRUE(has(sent[0], "sent ") && has(sent[0], "to=+8613900000001") && has(sent[0], "coding=7bit") &&
                has(sent[0], "text=hello   "))
        << sent[0];
    EXPECT_TRUE(has(sent[1], "sent ") && has(sent[1], "to=+8613900000002") && has(sent[1], "coding=ucs2") &&
                has(sent[1], "text=今日价格：100元"))
        << sent[1];

    EXPECT_EQ(file_bytes(day + "/recv/R1"), "13900000002");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*12");
    EXPECT_EQ(file_bytes(day + "/new/R2"), "13900000002");
    EXPECT_EQ(file_bytes(day + "/new/DA2"), gbk("今日价格：100元"));
    EXPECT_EQ(file_bytes(day + "/send/acc"), "2");

    std::string succ = file_bytes("log/SUCC" + day + ".log");
    EXPECT_EQ(succ.rfind("1.0,", 0), 0u) << succ;
    EXPECT_TRUE(has(succ, "   13900000001    \x02hello   \r\r\n"));
    EXPECT_TRUE(has(succ, "2.0,") && has(succ, "   13900000002    " + gbk("今日价格：100元") + "\r\r\n"));
    std::string recv = file_bytes("log/RECV" + day + ".log");
    EXPECT_EQ(recv.rfind("1,", 0), 0u) << recv;
    EXPECT_TRUE(has(recv, "   13900000002   *12\r\r\n"));
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    // The modem's storage was emptied.
    EXPECT_TRUE(has(ctl({"status"}).out, "stored=0/")) << ctl({"status"}).out;
    std::string out = file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(out, "caption: Velmora短信网关--企业短消息服务器  ：   收发进程已启动")) << out;
    EXPECT_TRUE(has(out, "13900000001   0    发送成功."));
}

TEST_F(EndToEnd, KilledMidPassResendsAtMostTheRecordItWasOn) {
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(send({"--to", "1390000000" + std::to_string(i), "r" + std::to_string(i)}).exit_code, 0);
    }
    start_gateway();
    ASSERT_TRUE(eventually([&] { return submissions().size() >= 2; }, 60000)) << file_bytes("sms.log");
    gateway->signal(SIGKILL);
    gateway->wait(5000);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "3"; }, 90000)) << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);

    std::vector<std::string> sent = submissions();
    int counts[4] = {0, 0, 0, 0};
    for (const auto& line : sent) {
        for (int i = 1; i <= 3; ++i) {
            if (has(line, "text=r" + std::to_string(i))) {
                ++counts[i];
            }
        }
    }
    EXPECT_EQ(counts[1], 1);
    EXPECT_GE(counts[2], 1);
    EXPECT_LE(counts[2], 2); // the record it was on when killed may go out again
    EXPECT_EQ(counts[3], 1);
    EXPECT_LE(sent.size(), 4u);
}

TEST_F(EndToEnd, ModemErrorsNeverStopTheEngine) {
    ASSERT_EQ(ctl({"fault", "error"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000001", "first"}).exit_code, 0);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return !file_bytes("log/FAIL" + day + ".log").empty(); }, 60000))
        << file_bytes("sms.log");
    ASSERT_EQ(ctl({"fault", "none"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000002", "second"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return !file_bytes("log/SUCC" + day + ".log").empty(); }, 60000))
        << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);
    EXPECT_TRUE(has(file_bytes("log/FAIL" + day + ".log"), "1.0,"));
    EXPECT_TRUE(has(file_bytes("log/SUCC" + day + ".log"), "2.0,"));
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "13900000001   0    发送失败!!!"));
}

TEST_F(EndToEnd, MissingPortEndsWithFailureStatus) {
    put_file("server.txt", "[SET]\r\nCOM=" + dir() + "/no-such-port\r\n");
    start_gateway();
    EXPECT_EQ(gateway->wait(15000), 1);
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "数据线没有准备好，或COM口忙!"));
    EXPECT_TRUE(has(file_bytes("sms.log"), "create com err. "));
}

} // namespace
