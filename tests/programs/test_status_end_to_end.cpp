// vmsmsd --status against a running gateway and the simulated modem, in real time: the day's figures,
// the engine's state through its life (running, link down, stopped, killed) and the modem's signal and
// registration, as text and as JSON.
#include "platform/clock.h"
#include "support/gateway_test.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>

namespace {

class StatusEndToEnd : public GatewayTest {
protected:
    ProgramResult status_of(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--dir", dir(), "--status"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_program(built_program("programs/vmsmsd"), args);
    }
    nlohmann::json json_status() {
        ProgramResult result = status_of({"--json"});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        return nlohmann::json::parse(result.out, nullptr, false);
    }
    std::string state() { return json_status()["engine"]["state"].get<std::string>(); }
    std::string diagnostics() { return file_bytes("vmsmsd.out") + "\n--- trace\n" + file_bytes("sms.log"); }
};

TEST_F(StatusEndToEnd, BeforeAnyEngineItSaysSoAndNeverWritesAFile) {
    ProgramResult text = status_of();
    EXPECT_EQ(text.exit_code, 0) << text.err;
    EXPECT_TRUE(has(text.out, "engine      not-started\n")) << text.out;
    EXPECT_TRUE(has(text.out, "modem       not asked")) << text.out;
    nlohmann::json json = json_status();
    EXPECT_EQ(json["engine"]["state"], "not-started");
    EXPECT_TRUE(json["modem"]["signal"].is_null());
    EXPECT_FALSE(std::filesystem::exists("status.txt"));
    EXPECT_FALSE(std::filesystem::exists(day));
    // --json alone, or another option beside --status, is a usage error.
    EXPECT_EQ(run_program(built_program("programs/vmsmsd"), {"--dir", dir(), "--json"}).exit_code, 2);
    EXPECT_EQ(status_of({"--retry"}).exit_code, 2);
}

TEST_F(StatusEndToEnd, ARunningResponsiveGatewayShowsItsFiguresAndItsModem) {
    ASSERT_EQ(send({"--english", "--to", "13900000001;13900000002", "hello"}).exit_code, 0);
    ASSERT_EQ(send({"--english", "--to", "13900000003", "again"}).exit_code, 0);
    ASSERT_EQ(ctl({"fault", "fail", "1"}).exit_code, 0);
    ASSERT_EQ(ctl({"deliver", "--from", "13800000001", "--text", "hi there"}).exit_code, 0);
    ASSERT_EQ(ctl({"network", "9", "5"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(
        eventually([&] { return file_bytes(day + "/send/acc") == "2" && file_bytes(day + "/recv/acc") == "1"; }, 30000))
        << diagnostics();

    if (spool_date(real_clock().now()) != day) {
        GTEST_SKIP() << "the day changed during the test: its figures start again from nought";
    }
    nlohmann::json json = json_status();
    EXPECT_EQ(json["day"], day);
    EXPECT_EQ(json["queued"], 2);
    EXPECT_EQ(json["processed"], 2);
    EXPECT_EQ(json["pending"], 0);
    EXPECT_EQ(json["sent"], 2);
    EXPECT_EQ(json["failed"], 1);
    EXPECT_EQ(json["received"], 1);
    EXPECT_EQ(json["engine"]["state"], "running");
    EXPECT_EQ(json["engine"]["pid"], gateway->pid());
    EXPECT_EQ(json["modem"]["signal"]["rssi"], 9);
    EXPECT_EQ(json["modem"]["signal"]["dbm"], -95);
    EXPECT_EQ(json["modem"]["signal"]["grade"], "weak");
    EXPECT_EQ(json["modem"]["registration"]["stat"], 5);
    EXPECT_EQ(json["modem"]["registration"]["registered"], true);

    ProgramResult text = status_of();
    EXPECT_TRUE(has(text.out, "engine      running (pid " + std::to_string(gateway->pid()))) << text.out;
    EXPECT_TRUE(has(text.out, "queued      2 records (2 handled, 0 pending)\n")) << text.out;
    EXPECT_TRUE(has(text.out, "sent        2 recipients\nfailed      1 recipients\nreceived    1 messages\n"))
        << text.out;
    EXPECT_TRUE(has(text.out, "signal      9 (-95 dBm, weak)\nnetwork     registered, roaming\n")) << text.out;

    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);
    EXPECT_EQ(state(), "stopped");
}

TEST_F(StatusEndToEnd, AnUnpluggedModemShowsAsLinkDownAndIsAskedAgainWhenBack) {
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return !json_status()["modem"]["signal"].is_null(); }, 20000)) << diagnostics();
    EXPECT_EQ(json_status()["modem"]["signal"]["rssi"], 25);
    ASSERT_EQ(ctl({"fault", "unplug"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return state() == "link-down"; }, 20000)) << diagnostics();
    ASSERT_EQ(ctl({"network", "14", "1"}).exit_code, 0);
    ASSERT_EQ(ctl({"fault", "replug"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return json_status()["modem"]["signal"]["rssi"] == 14; }, 40000)) << diagnostics();
    EXPECT_EQ(state(), "running");
}

TEST_F(StatusEndToEnd, AKilledGatewayIsGoneAndTheFixedWaitModeAsksTheModemNothing) {
    start_gateway();
    ASSERT_TRUE(eventually([&] { return state() == "running"; }, 20000)) << diagnostics();
    EXPECT_TRUE(json_status()["modem"]["asked"].is_null());
    EXPECT_FALSE(has(file_bytes("sms.log"), "csq=")) << file_bytes("sms.log");
    gateway->signal(SIGKILL);
    gateway->wait(15000);
    gateway.reset();
    EXPECT_EQ(state(), "gone");
}

} // namespace
