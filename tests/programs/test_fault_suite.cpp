// The gateway without a window (vmsmsd) against the simulated modem under the faults real modems, cables
// and disks produce, in real time. For each fault, messages queued before, during and after it reach the
// modem exactly once, and the engine recovers by itself once the fault is over.
#include "platform/clock.h"
#include "platform/text_file.h"
#include "store/spool.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace {

// How long the engine may take to be back at work once a fault is over.
constexpr int recovery_ms = 30000;

class FaultSuite : public GatewayTest {
protected:
    void fault(const std::vector<std::string>& words) {
        std::vector<std::string> args{"fault"};
        args.insert(args.end(), words.begin(), words.end());
        ProgramResult r = ctl(args);
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }
    void queue(const std::string& number, const std::string& text) {
        ProgramResult r = send({"--to", number, text});
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }
    // How many times the modem took a message with this text.
    int times_sent(const std::string& text) {
        int n = 0;
        for (const std::string& line : modem->sent_lines()) {
            if (line.rfind("sent ", 0) == 0 && line.find("text=" + text) != std::string::npos) {
                ++n;
            }
        }
        return n;
    }
    // The gateway has the modem's confirmation of its first record (not only the modem its message).
    bool first_record_done() { return file_bytes(day + "/send/acc") == "1"; }
    bool sent_all(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            if (times_sent(text) == 0) {
                return false;
            }
        }
        return true;
    }
    void expect_each_once(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            EXPECT_EQ(times_sent(text), 1) << text << "\n" << modem->sent_text();
        }
        EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "") << "no recipient was given up";
    }
    std::string diagnostics() { return file_bytes("vmsmsd.out") + "\n--- trace\n" + file_bytes("sms.log"); }
    bool output_has(const std::string& part) { return file_bytes("vmsmsd.out").find(part) != std::string::npos; }
    static void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

TEST_F(FaultSuite, UnpluggedAndPluggedBackOnTheSamePath) {
    queue("13900000001", "before");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return first_record_done(); }, 30000)) << diagnostics();
    fault({"unplug"});
    queue("13900000002", "during");
    ASSERT_TRUE(eventually([&] { return output_has("调制解调器连接中断"); }, 20000)) << diagnostics();
    pause_ms(2000);
    EXPECT_EQ(times_sent("during"), 0);
    fault({"replug"});
    queue("13900000003", "after");
    ASSERT_TRUE(eventually([&] { return sent_all({"during", "after"}); }, recovery_ms)) << diagnostics();
    expect_each_once({"before", "during", "after"});
    EXPECT_TRUE(output_has("caption: Velmora短信网关--企业短消息服务器  ：   调制解调器连接中断，正在重新连接"));
    EXPECT_TRUE(output_has("调制解调器已重新连接"));
}

TEST_F(FaultSuite, ModemSilentForSeconds) {
    queue("13900000001", "before");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return first_record_done(); }, 30000)) << diagnostics();
    // Long enough for a whole listing and the reset after it to go unanswered.
    fault({"silent", "--for", "20"});
    queue("13900000002", "during");
    ASSERT_TRUE(eventually([&] { return output_has("无应答"); }, 20000)) << diagnostics();
    queue("13900000003", "after");
    ASSERT_TRUE(eventually([&] { return sent_all({"during", "after"}); }, 20000 + recovery_ms)) << diagnostics();
    expect_each_once({"before", "during", "after"});
}

TEST_F(FaultSuite, ListingThatNeverEnds) {
    queue("13900000001", "before");
    start_gateway({"--max-listing", "1024"});
    ASSERT_TRUE(eventually([&] { return first_record_done(); }, 30000)) << diagnostics();
    fault({"endless-listing"});
    queue("13900000002", "during");
    ASSERT_TRUE(eventually([&] { return output_has("列表应答无止境"); }, 40000)) << diagnostics();
    // A modem that streams takes no commands: the engine keeps reopening it until it stops.
    fault({"none"});
    queue("13900000003", "after");
    ASSERT_TRUE(eventually([&] { return sent_all({"during", "after"}); }, recovery_ms)) << diagnostics();
    expect_each_once({"before", "during", "after"});
}

TEST_F(FaultSuite, GarbageOnTheLine) {
    queue("13900000001", "before");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return first_record_done(); }, 30000)) << diagnostics();
    fault({"garbage", "--for", "8"});
    queue("13900000002", "during");
    queue("13900000003", "after");
    ASSERT_TRUE(eventually([&] { return sent_all({"during", "after"}); }, 8000 + recovery_ms)) << diagnostics();
    expect_each_once({"before", "during", "after"});
}

TEST_F(FaultSuite, KilledInTheMiddleOfARecordRepeatsAtMostTheRecipientInFlight) {
    ProgramResult r = send({"--to", "13900000001", "--to", "13900000002", "--to", "13900000003", "--to", "13900000004",
                            "--to", "13900000005", "split"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    start_gateway();
    ASSERT_TRUE(eventually([&] { return times_sent("split") >= 2; }, 30000)) << diagnostics();
    gateway->signal(SIGKILL);
    gateway->wait(5000);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000)) << diagnostics();

    int repeated = 0;
    for (int i = 1; i <= 5; ++i) {
        int n = 0;
        for (const std::string& line : modem->sent_lines()) {
            if (line.find("to=+861390000000" + std::to_string(i)) != std::string::npos) {
                ++n;
            }
        }
        EXPECT_GE(n, 1) << i;
        EXPECT_LE(n, 2) << i;
        repeated += n - 1;
    }
    EXPECT_LE(repeated, 1) << modem->sent_text();
}

TEST_F(FaultSuite, ProcessedCounterThatCannotBeWritten) {
    std::filesystem::create_directories(day + "/send/acc/blocked"); // nobody can replace this counter
    queue("13900000001", "first");
    queue("13900000002", "second");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return output_has("无法写入 " + day + "/send/acc"); }, 30000)) << diagnostics();
    pause_ms(4000);
    EXPECT_EQ(times_sent("first"), 1);
    EXPECT_EQ(times_sent("second"), 0) << "nothing more is sent before the counter is written";
    std::filesystem::remove_all(day + "/send/acc");
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, recovery_ms)) << diagnostics();
    expect_each_once({"first", "second"});
    EXPECT_TRUE(output_has("已写入 " + day + "/send/acc"));
}

TEST_F(FaultSuite, QueueLockThatCannotBeOpened) {
    ensure_day_dirs(day);
    std::filesystem::create_directories(day + "/new/acc.lock/blocked"); // the lock file cannot be opened
    ProgramResult refused = send({"--to", "13900000001", "locked out"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("acc.lock"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(day + "/new/acc")) << "nothing was queued";

    // A query arrives while the lock cannot be taken: its reply waits until it can be queued.
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n12=price\r\n");
    start_gateway();
    ASSERT_EQ(ctl({"deliver", "--from", "13900000009", "--text", "*12"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return output_has("无法写入 " + day + "/new/acc"); }, 40000)) << diagnostics();
    std::filesystem::remove_all(day + "/new/acc.lock");
    queue("13900000001", "unlocked");
    ASSERT_TRUE(eventually([&] { return sent_all({"price", "unlocked"}); }, recovery_ms)) << diagnostics();
    expect_each_once({"price", "unlocked"});
}

} // namespace
