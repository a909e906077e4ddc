// The SIM behind its PIN, its PUK, or not there at all, against the real vmsmsd and the simulated modem.
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class SimCardEndToEnd : public GatewayTest {
protected:
    void with_pin(const std::string& pin) { put_file("server.txt", file_bytes("server.txt") + "PIN=" + pin + "\r\n"); }
    std::string sim_status() { return ctl({"status"}).out; }
    ProgramResult status() { return run_program(built_program("programs/vmsmsd"), {"--status"}); }
    // The PIN shows in nothing the gateway wrote or says.
    void expect_pin_nowhere(const std::string& pin) {
        for (const char* file : {"vmsmsd.out", "sms.log", "status.txt", "pin-refused.txt"}) {
            EXPECT_FALSE(has(file_bytes(file), pin)) << file;
        }
        EXPECT_FALSE(has(status().out, pin));
    }
};

TEST_F(SimCardEndToEnd, ALockedSimWithTheRightPinSends) {
    ASSERT_EQ(ctl({"sim", "pin", "4711"}).exit_code, 0);
    with_pin("4711");
    ASSERT_EQ(send({"--to", "13900000001", "unlocked"}).exit_code, 0);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(sim_status(), "sim=ready tries=3 pins-entered=1")) << sim_status();
    EXPECT_TRUE(has(modem->sent_text(), "text=unlocked")) << modem->sent_text();
    expect_pin_nowhere("4711");
}

// One try, exit status 3 (the service unit does not restart on it), and a start by hand does not try
// again either: the SIM keeps two of its three tries.
TEST_F(SimCardEndToEnd, AWrongPinStopsAfterOneTryAndIsNeverTriedAgainByItself) {
    ASSERT_EQ(ctl({"sim", "pin", "4711"}).exit_code, 0);
    const std::string base = file_bytes("server.txt");
    with_pin("1234");
    ASSERT_EQ(send({"--to", "13900000001", "never"}).exit_code, 0);
    start_gateway();
    EXPECT_EQ(gateway->wait(30000), 3) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "SIM卡拒绝了 server.txt 里的 PIN")) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("status.txt"), "state=sim-locked")) << file_bytes("status.txt");
    EXPECT_TRUE(has(status().out, "sim-locked")) << status().out;

    start_gateway();
    EXPECT_EQ(gateway->wait(30000), 3) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(sim_status(), "sim=pin tries=2 pins-entered=1")) << sim_status();
    EXPECT_EQ(modem->sent_text(), "");
    expect_pin_nowhere("1234");

    // The operator writes the right PIN: it is entered, and the queue goes out.
    put_file("server.txt", base + "PIN=4711\r\n");
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(sim_status(), "sim=ready")) << sim_status();
}

struct StopCase {
    const char* name;
    const char* sim;
    std::vector<std::string> flags;
    const char* state;
    const char* words;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class SimStops : public SimCardEndToEnd, public ::testing::WithParamInterface<StopCase> {};

TEST_P(SimStops, WithItsMessageAndState) {
    const StopCase& c = GetParam();
    ASSERT_EQ(ctl({"sim", c.sim}).exit_code, 0);
    with_pin("4711");
    ASSERT_EQ(send({"--to", "13900000001", "held"}).exit_code, 0);
    start_gateway(c.flags);
    EXPECT_EQ(gateway->wait(30000), 3) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), c.words)) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("status.txt"), std::string("state=") + c.state)) << file_bytes("status.txt");
    EXPECT_TRUE(has(sim_status(), "pins-entered=0")) << sim_status();
    EXPECT_EQ(modem->sent_text(), "");
}

const StopCase stop_cases[] = {
    {"puk", "puk", {}, "sim-locked", "需要PUK码"},
    {"missing", "missing", {}, "sim-missing", "没有找到SIM卡"},
    {"failure_responsive", "failure", {"--responsive"}, "sim-missing", "SIM卡故障"},
};

INSTANTIATE_TEST_SUITE_P(Sims, SimStops, ::testing::ValuesIn(stop_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// In the responsive mode a locked SIM is told apart from a broken modem even with no PIN set.
TEST_F(SimCardEndToEnd, ResponsiveModeSaysTheSimIsLockedWithoutAPinSet) {
    ASSERT_EQ(ctl({"sim", "pin", "4711"}).exit_code, 0);
    start_gateway({"--responsive"});
    EXPECT_EQ(gateway->wait(30000), 3) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "PIN=")) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(status().out, "sim-locked")) << status().out;
}

} // namespace
