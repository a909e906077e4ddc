// vmsmsd in responsive mode against the simulated modem, in real time: everything queued goes out
// once, and every query is answered once, while new messages arrive in the middle of the sending.
#include "platform/gbk.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>

namespace {

class ResponsiveEndToEnd : public GatewayTest {
protected:
    // How many submissions the simulated modem took for each destination.
    std::map<std::string, int> sent_per_number() {
        std::map<std::string, int> counts;
        for (const std::string& line : modem->sent_lines()) {
            std::size_t to = line.find("to=+86");
            if (line.rfind("sent ", 0) == 0 && to != std::string::npos) {
                ++counts[line.substr(to + 6, 11)];
            }
        }
        return counts;
    }
    std::string number(int i) { return "139000001" + std::string(i < 10 ? "0" : "") + std::to_string(i); }
    std::string asker(int i) { return "1380000000" + std::to_string(i); }
};

TEST_F(ResponsiveEndToEnd, TwentyMessagesAndFiveQueriesEachGoThroughOnce) {
    // A modem that takes a while over each message, so queries arrive in the middle of the sending.
    modem.reset();
    modem = std::make_unique<SimulatedModem>(dir(), std::vector<std::string>{"--submit-latency", "60"});
    ASSERT_TRUE(modem->ready()) << modem->output();
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\nP1=" + gbk("价格一") + "\r\nP2=" + gbk("价格二") + "\r\n");
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(send({"--english", "--to", number(i), "message " + std::to_string(i)}).exit_code, 0);
    }
    for (int i = 1; i <= 2; ++i) {
        ASSERT_EQ(ctl({"deliver", "--from", asker(i), "--text", "*P" + std::to_string(i)}).exit_code, 0);
    }
    start_gateway({"--responsive"});
    // Three more queries arrive while the queue is being sent.
    ASSERT_TRUE(eventually([&] { return modem->sent_lines().size() >= 3; }, 30000)) << file_bytes("sms.log");
    for (int i = 3; i <= 5; ++i) {
        ASSERT_EQ(ctl({"deliver", "--from", asker(i), "--text", "*P" + std::to_string(i % 2 + 1)}).exit_code, 0);
    }
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "25"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);

    std::map<std::string, int> sent = sent_per_number();
    for (int i = 1; i <= 20; ++i) {
        EXPECT_EQ(sent[number(i)], 1) << number(i);
    }
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(sent[asker(i)], 1) << asker(i);
    }
    EXPECT_EQ(modem->sent_lines().size(), 25u) << modem->sent_text();
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "5");
    for (long n = 21; n <= 25; ++n) {
        std::string reply = file_bytes(day + "/new/DA" + std::to_string(n));
        EXPECT_TRUE(reply == gbk("价格一") || reply == gbk("价格二")) << n << ": " << reply;
    }
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_TRUE(has(ctl({"status"}).out, "stored=0/")) << ctl({"status"}).out;
    // The modem was asked to announce new messages.
    EXPECT_TRUE(has(file_bytes("sms.log"), "cnmi=")) << file_bytes("sms.log");
}

TEST_F(ResponsiveEndToEnd, ServerTxtSwitchesTheModeOnForTheNextStart) {
    put_file("server.txt", file_bytes("server.txt") + "RESPONSIVE=1\r\n");
    ASSERT_EQ(send({"--english", "--to", number(1), "hello"}).exit_code, 0);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000)) << file_bytes("sms.log");
    std::string trace = file_bytes("sms.log");
    // The mode came from server.txt: the modem was asked to announce new messages.
    EXPECT_TRUE(has(trace, "AT+CNMI=")) << trace;
    EXPECT_EQ(sent_per_number()[number(1)], 1);
}

// SIGHUP reads server.txt again: the mode switched on there takes effect in the running gateway.
TEST_F(ResponsiveEndToEnd, SighupReadsTheKeptOptionsAgain) {
    start_gateway();
    ASSERT_TRUE(eventually([&] { return has(file_bytes("vmsmsd.out"), "monitor: OK!"); }, 20000));
    put_file("server.txt", file_bytes("server.txt") + "RESPONSIVE=1\r\n");
    gateway->signal(SIGHUP);
    ASSERT_TRUE(
        eventually([&] { return has(file_bytes("vmsmsd.out"), "reload: server.txt read again: responsive=1"); }, 10000))
        << file_bytes("vmsmsd.out");
    EXPECT_TRUE(eventually([&] { return has(file_bytes("sms.log"), "AT+CNMI="); }, 30000)) << file_bytes("sms.log");
    EXPECT_EQ(gateway->wait(100), -1) << "still running"; // SIGHUP does not stop it
}

} // namespace
