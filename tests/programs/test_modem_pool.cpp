// vmsmsd with four simulated modems over one spool, in real time: every recipient goes out once,
// spread over the modems; an unplugged modem's share and a kill -9 cost at most the recipients on their
// way; an answer goes back through the modem that received its query; a route keeps a prefix to its
// modems.
#include "platform/clock.h"
#include "platform/gbk.h"
#include "support/background_program.h"
#include "support/simulated_modem.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>

namespace {

using Steady = std::chrono::steady_clock;

std::string number(int n) {
    return std::to_string(13900000000LL + n);
}

class ModemPool : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        day = spool_date(real_clock().now());
        std::string settings = "[SET]\r\nRATE=19200\r\n";
        for (int m = 1; m <= 4; ++m) {
            std::string sub = dir() + "/m" + std::to_string(m);
            std::filesystem::create_directory(sub);
            modems.push_back(std::make_unique<SimulatedModem>(sub));
            ASSERT_TRUE(modems.back()->ready()) << modems.back()->output();
            settings +=
                (m == 1 ? "COM=" : "[MODEM" + std::to_string(m) + "]\r\nCOM=") + modems.back()->device() + "\r\n";
        }
        put_file("server.txt", settings);
    }
    void TearDown() override {
        stop_gateway();
        modems.clear();
        TempDirTest::TearDown();
    }
    void latency(int ms) {
        for (auto& modem : modems) {
            ASSERT_EQ(modem->ctl({"latency", std::to_string(ms)}).exit_code, 0);
        }
    }
    void start_gateway() {
        gateway = std::make_unique<BackgroundProgram>(
            built_program("programs/vmsmsd"), std::vector<std::string>{"--speed", "0", "--fast-device", "--responsive"},
            dir() + "/vmsmsd.out");
    }
    void stop_gateway() {
        if (gateway) {
            gateway->signal(SIGTERM);
            gateway->wait(15000);
            gateway.reset();
        }
    }
    // Queues one English record to numbers first .. first+count-1.
    void queue(int first, int count, const std::string& text) {
        std::vector<std::string> args{"--english"};
        for (int i = first; i < first + count; ++i) {
            args.insert(args.end(), {"--to", number(i)});
        }
        args.push_back(text);
        ProgramResult result = run_program(built_program("programs/vmsms-send"), args);
        ASSERT_EQ(result.exit_code, 0) << result.err;
    }
    // The numbers each modem was handed, in order ("+86139..."), from its record of submissions.
    std::vector<std::string> sent_by(int m) {
        std::vector<std::string> to;
        for (const std::string& line : modems[m - 1]->sent_lines()) {
            std::size_t at = line.find("to=");
            if (line.rfind("sent ", 0) == 0 && at != std::string::npos) {
                to.push_back(line.substr(at + 3, line.find(' ', at) - at - 3));
            }
        }
        return to;
    }
    std::map<std::string, int> times_sent() {
        std::map<std::string, int> times;
        for (int m = 1; m <= 4; ++m) {
            for (const std::string& to : sent_by(m)) {
                ++times[to];
            }
        }
        return times;
    }
    std::size_t total_sent() {
        std::size_t total = 0;
        for (int m = 1; m <= 4; ++m) {
            total += sent_by(m).size();
        }
        return total;
    }
    bool records_done(int records) { return file_bytes(day + "/send/acc") == std::to_string(records); }
    // Every number first .. first+count-1 went out at least once, and how many went twice.
    int check_all_sent(int first, int count) {
        std::map<std::string, int> times = times_sent();
        int twice = 0;
        for (int i = first; i < first + count; ++i) {
            int n = times["+86" + number(i)];
            EXPECT_GE(n, 1) << number(i) << " was never sent";
            twice += n > 1 ? n - 1 : 0;
        }
        return twice;
    }
    // `vmsmsd --status --json` of the directory.
    nlohmann::json status_json() {
        ProgramResult result = run_program(built_program("programs/vmsmsd"), {"--status", "--json"});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        return nlohmann::json::parse(result.out, nullptr, false);
    }
    std::string diagnostics() { return "--- vmsmsd.out\n" + file_bytes("vmsmsd.out").substr(0, 20000); }

    std::string day;
    std::vector<std::unique_ptr<SimulatedModem>> modems;
    std::unique_ptr<BackgroundProgram> gateway;
};

// 400 recipients in 5 records at 0.5 s a submission: each goes out once, every modem takes a fair
// share, and the whole takes well under the 200 s one modem needs for the submissions alone.
TEST_F(ModemPool, FourHundredRecipientsGoOutOnceOverFourModems) {
    latency(500);
    for (int r = 0; r < 5; ++r) {
        queue(r * 80 + 1, 80, "bulk " + std::to_string(r));
    }
    Steady::time_point start = Steady::now();
    start_gateway();
    ASSERT_TRUE(eventually([&] { return records_done(5); }, 150000)) << diagnostics();
    double seconds = std::chrono::duration<double>(Steady::now() - start).count();
    stop_gateway();

    EXPECT_EQ(check_all_sent(1, 400), 0);
    EXPECT_EQ(total_sent(), 400u);
    for (int m = 1; m <= 4; ++m) {
        EXPECT_GE(sent_by(m).size(), 70u) << "MODEM" << m << " took less than a fair share";
    }
    // The modems work side by side: one alone needs 200 s for the submissions only. The bound leaves room
    // for a busy machine; the pool's exact ratio to one modem is the benchmark's to measure.
    EXPECT_LE(seconds, 0.5 * 400 * 0.5) << "four modems took " << seconds << " s";
    // The report lines name the modem that sent each message, at their end.
    std::string succ = file_bytes("log/SUCC" + day + ".log");
    EXPECT_NE(succ.find("   MODEM3\r\r\n"), std::string::npos) << succ.substr(0, 400);
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_NE(file_bytes("status-MODEM2.txt").find("state=stopped"), std::string::npos);

    // The status tells each modem's share, as its simulator counted it.
    nlohmann::json status = status_json();
    ASSERT_EQ(status["modems"].size(), 4u) << status.dump();
    for (int m = 1; m <= 4; ++m) {
        const nlohmann::json& modem = status["modems"][m - 1];
        EXPECT_EQ(modem["name"], "MODEM" + std::to_string(m));
        EXPECT_EQ(modem["state"], "stopped");
        EXPECT_EQ(modem["sent"], sent_by(m).size()) << modem.dump();
    }
    EXPECT_EQ(status["sent"], 400);
}

// PER_DAY=2 on a pool of two modems, and PER_DAY=1 for the second SIM in its own section: each SIM sends
// what its limit allows and is held by its own counts; the rest wait, none fails.
TEST_F(ModemPool, EachSimIsHeldByItsOwnLimit) {
    put_file("server.txt", "[SET]\r\nRATE=19200\r\nCOM=" + modems[0]->device() + "\r\n[MODEM2]\r\nCOM=" +
                               modems[1]->device() + "\r\nPER_DAY=1\r\n[LIMITS]\r\nPER_DAY=2\r\n");
    queue(1, 6, "limited");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return total_sent() >= 3; }, 30000)) << diagnostics();
    nlohmann::json status;
    ASSERT_TRUE(eventually(
        [&] {
            status = status_json();
            return status["modems"].size() == 2 && status["modems"][0]["state"] == "limited" &&
                   status["modems"][1]["state"] == "limited";
        },
        15000))
        << status.dump() << diagnostics();
    stop_gateway();

    EXPECT_EQ(sent_by(1).size(), 2u);
    EXPECT_EQ(sent_by(2).size(), 1u);
    std::map<std::string, int> times = times_sent();
    EXPECT_EQ(times.size(), 3u);
    for (const auto& [to, n] : times) {
        EXPECT_EQ(n, 1) << to;
    }
    EXPECT_FALSE(records_done(1));
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_EQ(status["modems"][1]["limits"]["PER_DAY"]["used"], 1);
    EXPECT_EQ(status["modems"][1]["limits"]["PER_DAY"]["limit"], 1);
    EXPECT_NE(file_bytes("limits-MODEM2.txt").find("day " + day + " 1"), std::string::npos);
    EXPECT_NE(file_bytes("limits.txt").find("day " + day + " 2"), std::string::npos);
}

// A modem unplugged while it sends: the others take its share; nothing is lost, and at most the one
// recipient it had on its way goes twice.
TEST_F(ModemPool, AnUnpluggedModemsShareGoesThroughTheOthers) {
    latency(300);
    queue(1, 40, "unplug");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return sent_by(2).size() >= 2; }, 60000)) << diagnostics();
    ASSERT_EQ(modems[1]->ctl({"fault", "unplug"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return records_done(1); }, 90000)) << diagnostics();
    stop_gateway();

    EXPECT_LE(check_all_sent(1, 40), 1);
    EXPECT_LE(total_sent(), 41u);
    EXPECT_LT(sent_by(2).size(), 10u);
}

// vmsmsd killed in the middle of a record and started again: at most one recipient per modem twice.
TEST_F(ModemPool, AKillInTheMiddleCostsAtMostOneRecipientPerModem) {
    latency(300);
    queue(1, 30, "first");
    queue(31, 30, "second");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return total_sent() >= 12; }, 60000)) << diagnostics();
    gateway->signal(SIGKILL);
    gateway->wait(5000);
    gateway.reset();
    start_gateway();
    ASSERT_TRUE(eventually([&] { return records_done(2); }, 90000)) << diagnostics();
    stop_gateway();

    EXPECT_LE(check_all_sent(1, 60), 4);
    EXPECT_LE(total_sent(), 64u);
}

// A query received on modem 3 is answered through modem 3: the customer sees the same sender.
TEST_F(ModemPool, AnAnswerGoesBackThroughTheModemThatGotTheQuery) {
    std::filesystem::create_directory("query");
    put_file("query/query", "[query]\r\n000000=222222\r\n12=" + gbk("今日价格：100元") + "\r\n");
    start_gateway();
    ASSERT_EQ(modems[2]->ctl({"deliver", "--from", "+8613900000002", "--text", "*12"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return records_done(1); }, 60000)) << diagnostics();
    stop_gateway();

    EXPECT_EQ(sent_by(3), (std::vector<std::string>{"+8613900000002"}));
    EXPECT_EQ(total_sent(), 1u);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "*12");
    EXPECT_NE(file_bytes("log/RECV" + day + ".log").find("*12   MODEM3\r\r\n"), std::string::npos);
}

// [ROUTES] 1390000001=MODEM2,MODEM4: numbers 13900000010..19 go only through modems 2 and 4.
TEST_F(ModemPool, ARouteKeepsItsPrefixToTheChosenModems) {
    put_file("server.txt", file_bytes("server.txt") + "[ROUTES]\r\n1390000001=MODEM2,MODEM4\r\n");
    latency(200);
    queue(1, 24, "routed");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return records_done(1); }, 60000)) << diagnostics();
    stop_gateway();

    EXPECT_EQ(check_all_sent(1, 24), 0);
    for (int m : {1, 3}) {
        for (const std::string& to : sent_by(m)) {
            EXPECT_NE(to.rfind("+861390000001", 0), 0u) << to << " went through MODEM" << m;
        }
    }
}

} // namespace
