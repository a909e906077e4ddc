// Long messages and delivery reports through vmsmsd and the simulated modem, in real time.
#include "platform/gbk.h"
#include "store/held_parts.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace {

class LongEndToEnd : public GatewayTest {
protected:
    void SetUp() override {
        GatewayTest::SetUp();
        std::filesystem::create_directory("query");
        put_file("query/query", "[query]\r\n000000=222222\r\nP1=" + gbk("今日价格") + "\r\n");
    }
    std::vector<std::string> lines_with(const std::string& text, const std::string& part) {
        std::vector<std::string> found;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (line.find(part) != std::string::npos) {
                found.push_back(line);
            }
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return found;
    }
    std::size_t held_files() {
        std::error_code error;
        auto it = std::filesystem::directory_iterator(day + "/parts", error);
        return error ? 0 : static_cast<std::size_t>(std::distance(it, std::filesystem::directory_iterator{}));
    }
    static std::string chinese(int characters) {
        std::string out;
        const char* units[] = {"长", "短", "信"};
        for (int i = 0; i < characters; ++i) {
            out += units[i % 3];
        }
        return out;
    }
};

TEST_F(LongEndToEnd, AChineseMessageOfThreeHundredCharactersArrivesAsLinkedParts) {
    const std::string text = chinese(300);
    ASSERT_EQ(send({"--long", "--to", "13900000001", "--to", "13900000002", text}).exit_code, 0);
    start_gateway({"--responsive", "--long"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000)) << file_bytes("sms.log");
    std::string messages = ctl({"messages"}).out;
    std::vector<std::string> complete = lines_with(messages, "complete=yes");
    ASSERT_EQ(complete.size(), 2u) << messages;
    for (const std::string& line : complete) {
        EXPECT_NE(line.find("parts=5/5"), std::string::npos) << line;
        EXPECT_NE(line.find("text=" + text), std::string::npos) << line;
    }
    EXPECT_NE(complete[0].find("ref="), std::string::npos);
    std::string succ = file_bytes("log/SUCC" + day + ".log");
    EXPECT_EQ(lines_with(succ, gbk("(5条)")).size(), 2u) << succ;
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
}

TEST_F(LongEndToEnd, AQueryInThreePartsOutOfOrderIsAnsweredOnce) {
    start_gateway({"--responsive", "--long"});
    ASSERT_EQ(ctl({"deliver", "--from", "13800000001", "--text", "*P1", "--parts", "3", "--order", "3,1,2",
                   "--duplicate", "2"})
                  .exit_code,
              0);
    ASSERT_TRUE(eventually([&] { return modem->sent_lines().size() >= 1; }, 20000)) << file_bytes("sms.log");
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 20000));
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "1");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*P1");
    EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk("今日价格"));
    EXPECT_EQ(modem->sent_lines().size(), 1u) << modem->sent_text();
    EXPECT_TRUE(has(ctl({"status"}).out, "stored=0/")) << ctl({"status"}).out;
}

TEST_F(LongEndToEnd, AKillBetweenPartsLosesNone) {
    start_gateway({"--responsive", "--long"});
    ASSERT_EQ(
        ctl({"deliver", "--from", "13800000002", "--text", "ABCDEF", "--parts", "3", "--ref", "77", "--drop", "3"})
            .exit_code,
        0);
    ASSERT_TRUE(eventually([&] { return held_files() == 2; }, 20000)) << file_bytes("sms.log");
    gateway->signal(SIGKILL);
    gateway->wait(10000);
    gateway.reset();
    ASSERT_EQ(
        ctl({"deliver", "--from", "13800000002", "--text", "ABCDEF", "--parts", "3", "--ref", "77", "--drop", "1,2"})
            .exit_code,
        0);
    start_gateway({"--responsive", "--long"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/recv/acc") == "1"; }, 20000)) << file_bytes("sms.log");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "ABCDEF");
    EXPECT_EQ(file_bytes(day + "/recv/R1"), "13800000002");
}

TEST_F(LongEndToEnd, DeliveryReportsAreLoggedForDeliveredAndFailedMessages) {
    modem.reset();
    modem = std::make_unique<SimulatedModem>(dir(), std::vector<std::string>{"--report-delay", "100"});
    ASSERT_TRUE(modem->ready()) << modem->output();
    ASSERT_EQ(send({"--to", "13900000001", "送达"}).exit_code, 0);
    start_gateway({"--responsive", "--reports"});
    ASSERT_TRUE(eventually([&] { return !file_bytes("log/DLVR" + day + ".log").empty(); }, 20000))
        << file_bytes("sms.log");
    ASSERT_EQ(ctl({"reports", "failed"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000002", "x"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return lines_with(file_bytes("log/DLVR" + day + ".log"), "\r").size() >= 2; }, 20000))
        << file_bytes("sms.log");
    std::string log = file_bytes("log/DLVR" + day + ".log");
    std::vector<std::string> delivered = lines_with(log, "delivered");
    std::vector<std::string> failed = lines_with(log, "failed");
    ASSERT_EQ(delivered.size(), 1u) << log;
    ASSERT_EQ(failed.size(), 1u) << log;
    EXPECT_EQ(delivered[0].rfind("1.0,", 0), 0u);
    EXPECT_NE(delivered[0].find("13900000001"), std::string::npos);
    EXPECT_EQ(failed[0].rfind("2.0,", 0), 0u);
    EXPECT_NE(failed[0].find("13900000002    failed (status 65)"), std::string::npos) << failed[0];
}

} // namespace
