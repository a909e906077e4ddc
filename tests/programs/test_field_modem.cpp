// What the modems of the field do that a fresh simulated modem does not, against the real vmsmsd.
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

struct ModeCase {
    const char* name;
    std::vector<std::string> flags;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class HalfTypedSubmission : public GatewayTest, public ::testing::WithParamInterface<ModeCase> {
protected:
    // Another program (an engine killed in the middle) asks to submit and types part of a PDU, then lets
    // go of the port; the modem keeps waiting for the rest.
    void leave_a_half_typed_submission() {
        int fd = ::open(modem->device().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0) << modem->device();
        const std::string typed = "AT+CMGS=19\r";
        ASSERT_EQ(::write(fd, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the prompt comes
        const std::string part = "0011000D91683109";
        ASSERT_EQ(::write(fd, part.data(), part.size()), static_cast<ssize_t>(part.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(fd);
    }
};

// The restarted gateway cancels the submission before anything else, so its first recipient is sent
// rather than swallowed into the old PDU and reported failed.
TEST_P(HalfTypedSubmission, IsCancelledWhenThePortIsOpenedAndNothingIsLost) {
    ASSERT_EQ(ctl({"release", "keep"}).exit_code, 0);
    ASSERT_TRUE(has(ctl({"status"}).out, "release=keep")) << ctl({"status"}).out;
    leave_a_half_typed_submission();
    ASSERT_EQ(send({"--to", "13900000001", "after the kill"}).exit_code, 0);
    start_gateway(GetParam().flags);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);
    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 1u) << modem->sent_text();
    EXPECT_TRUE(has(sent[0], "sent ") && has(sent[0], "to=+8613900000001") && has(sent[0], "text=after the kill"))
        << sent[0];
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_TRUE(has(file_bytes("log/SUCC" + day + ".log"), "   13900000001    "));
}

const ModeCase modes[] = {
    {"fixed_waits", {}},
    {"responsive", {"--responsive"}},
};

INSTANTIATE_TEST_SUITE_P(Modes, HalfTypedSubmission, ::testing::ValuesIn(modes),
                         [](const auto& info) { return std::string(info.param.name); });

class FieldModem : public GatewayTest {};

// A broken modem that lists a few bytes at a time for ever would hold the engine in its inbox pass;
// the listing is cut at its time bound, the modem reopened, and the queue goes on.
TEST_F(FieldModem, ATricklingListingIsCutAndTheQueueGoesOn) {
    // A message in the memory, so the responsive engine, which lists only memories that hold some, lists.
    ASSERT_EQ(ctl({"deliver", "--from", "13900000009", "--text", "held"}).exit_code, 0);
    ASSERT_EQ(ctl({"fault", "trickling-listing"}).exit_code, 0);
    start_gateway({"--responsive", "--max-listing-time", "3"});
    ASSERT_TRUE(eventually([&] { return has(file_bytes("sms.log"), "listing still coming after 3 s"); }, 20000))
        << file_bytes("sms.log");
    ASSERT_EQ(ctl({"fault", "none"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000001", "still going"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 1u) << modem->sent_text();
    EXPECT_TRUE(has(sent[0], "text=still going")) << sent[0];
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "列表应答无止境")) << file_bytes("vmsmsd.out");
}

// The service centre server.txt names goes with every submission, a long message's parts included.
TEST_F(FieldModem, TheServiceCentreSetIsInEverySubmission) {
    put_file("server.txt", file_bytes("server.txt") + "SMSC=+8613800000999\r\n");
    ASSERT_EQ(send({"--to", "13900000001", "one"}).exit_code, 0);
    ASSERT_EQ(send({"--long", "--english", "--to", "13900000002", std::string(200, 'x')}).exit_code, 0);
    start_gateway({"--long"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 3u) << modem->sent_text();
    for (const std::string& line : sent) {
        EXPECT_TRUE(has(line, "sent ") && has(line, "smsc=8613800000999 ")) << line;
    }
}

// INIT's commands go after the start-up exchange; a refused one is named and the engine does not start.
TEST_F(FieldModem, InitCommandsAreSentAndARefusedOneIsNamed) {
    const std::string base = file_bytes("server.txt");
    put_file("server.txt", base + "INIT=ATE1|AT+NOSUCH=1\r\n");
    start_gateway();
    EXPECT_EQ(gateway->wait(30000), 1) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "初始化命令失败：AT+NOSUCH=1 -> ERROR")) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("sms.log"), "INIT ATE1: OK")) << file_bytes("sms.log");

    put_file("server.txt", base + "INIT=ATE1 | AT\r\n");
    ASSERT_EQ(send({"--to", "13900000001", "set up"}).exit_code, 0);
    start_gateway();
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(file_bytes("sms.log"), "INIT AT: OK")) << file_bytes("sms.log");
}

// While the modem is not registered nothing is sent and no recipient is used up, whether the
// registration was gone before the record or went in the middle of it; all go out once it is back.
TEST_F(FieldModem, NothingIsSentOrLostWhileTheModemIsNotRegistered) {
    ASSERT_EQ(ctl({"network", "25", "2"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000001", "--to", "13900000002", "first"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return has(file_bytes("status.txt"), "state=not-registered"); }, 20000))
        << file_bytes("status.txt") << file_bytes("vmsmsd.out");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(modem->sent_text(), "");
    ASSERT_EQ(ctl({"network", "25", "5"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(file_bytes("status.txt"), "state=running")) << file_bytes("status.txt");

    // Lost in the middle of a record: the recipient the network refused waits, and goes once.
    ASSERT_EQ(ctl({"latency", "400"}).exit_code, 0);
    std::vector<std::string> to;
    for (int i = 1; i <= 6; ++i) {
        to.insert(to.end(), {"--to", "1390000010" + std::to_string(i)});
    }
    to.push_back("second");
    ASSERT_EQ(send(to).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return modem->sent_lines().size() >= 4; }, 30000)) << modem->sent_text();
    ASSERT_EQ(ctl({"network", "25", "3"}).exit_code, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_EQ(ctl({"network", "25", "1"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 30000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    std::vector<std::string> sent = modem->sent_lines();
    EXPECT_EQ(sent.size(), 8u) << modem->sent_text();
    for (int i = 1; i <= 6; ++i) {
        int times = 0;
        for (const std::string& line : sent) {
            times += has(line, "to=+861390000010" + std::to_string(i)) ? 1 : 0;
        }
        EXPECT_EQ(times, 1) << i << "\n" << modem->sent_text();
    }
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "暂停发送")) << file_bytes("vmsmsd.out");
}

// A modem that hangs (its port opens, it answers nothing) is rebooted with AT+CFUN=1,1 after three
// silent reopenings; the lines it prints when back are passed over and the queue finishes. The reset is
// in the status and starts the MODEM hook.
TEST_F(FieldModem, AHungModemIsRebootedAndTheQueueFinishes) {
    put_file("modem-hook.sh", "echo \"$VMSMS_EVENT $VMSMS_TEXT\" >> " + dir() + "/modem-hook.txt\n");
    put_file("server.txt", file_bytes("server.txt") + "[HOOKS]\r\nMODEM=/bin/sh " + dir() + "/modem-hook.sh\r\n");
    ASSERT_EQ(send({"--to", "13900000001", "before"}).exit_code, 0);
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000)) << file_bytes("vmsmsd.out");
    ASSERT_EQ(ctl({"fault", "hung"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000002", "after"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 90000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(file_bytes("status.txt"), "modem_reset=")) << file_bytes("status.txt");
    EXPECT_TRUE(has(file_bytes("status.txt"), " AT+CFUN=1,1")) << file_bytes("status.txt");
    EXPECT_TRUE(has(file_bytes("sms.log"), "reset with AT+CFUN=1,1")) << file_bytes("sms.log");
    EXPECT_TRUE(eventually([&] { return has(file_bytes("modem-hook.txt"), "MODEM modem silent through 3"); }, 5000))
        << file_bytes("modem-hook.txt");
    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 2u) << modem->sent_text();
    EXPECT_TRUE(has(sent[1], "text=after")) << sent[1];
    EXPECT_EQ(file_bytes("log/FAIL" + day + ".log"), "");
}

// A USB modem that comes back under another name is found by its IMEI among the devices and the queue
// finishes there; a modem with another IMEI on the path is refused.
TEST_F(FieldModem, AModemBackUnderAnotherPathIsFoundByItsImeiAndAnotherModemIsRefused) {
    const std::string base = file_bytes("server.txt");
    put_file("server.txt", base + "IMEI=359999999999999\r\n");
    ASSERT_EQ(send({"--to", "13900000001", "first"}).exit_code, 0);
    start_gateway();
    EXPECT_EQ(gateway->wait(30000), 3) << file_bytes("vmsmsd.out");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "不是 server.txt 设置的那一台（它回答 351234567890124）"))
        << file_bytes("vmsmsd.out");
    EXPECT_EQ(modem->sent_text(), "");

    put_file("server.txt", base + "IMEI=351234567890124\r\n");
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "1"; }, 30000)) << file_bytes("vmsmsd.out");
    ASSERT_EQ(ctl({"fault", "unplug"}).exit_code, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_EQ(ctl({"fault", "replug", "--at", dir() + "/modem-again"}).exit_code, 0);
    ASSERT_EQ(send({"--to", "13900000002", "after"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 60000))
        << file_bytes("vmsmsd.out") << file_bytes("sms.log");
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "在 " + dir() + "/modem-again 找到了设置的调制解调器"))
        << file_bytes("vmsmsd.out");
    EXPECT_EQ(modem->sent_lines().size(), 2u) << modem->sent_text();
}

} // namespace
