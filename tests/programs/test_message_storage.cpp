// vmsmsd against the simulated modem's two memories, in real time: a full memory is drained and what
// the network held comes in after it, a message the modem would not delete is stored once, and
// messages in the SIM and in the phone's memory are all received.
#include "support/gateway_test.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <string>

namespace {

class MessageStorage : public GatewayTest {
protected:
    // The received records' texts, each with how often it was stored.
    std::map<std::string, int> received_texts() {
        std::map<std::string, int> texts;
        for (long n = 1; std::filesystem::exists(day + "/recv/DA" + std::to_string(n)); ++n) {
            ++texts[file_bytes(day + "/recv/DA" + std::to_string(n))];
        }
        return texts;
    }
    bool received(const std::string& count) { return file_bytes(day + "/recv/acc") == count; }
    std::string status() { return ctl({"status"}).out; }
    // The gateway stopped; every message was stored once, and nothing is left in the modem.
    void expect_each_once(int count) {
        gateway->signal(SIGTERM);
        EXPECT_EQ(gateway->wait(15000), 0);
        std::map<std::string, int> texts = received_texts();
        EXPECT_EQ(texts.size(), static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i) {
            EXPECT_EQ(texts["message " + std::to_string(i)], 1) << i;
        }
        EXPECT_TRUE(has(status(), "stored=0/")) << status();
        EXPECT_TRUE(has(status(), " held=0 ")) << status();
    }
    void deliver(int i, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> words = {"deliver", "--from", "13900000001", "--text", "message " + std::to_string(i)};
        words.insert(words.end(), extra.begin(), extra.end());
        ASSERT_EQ(ctl(words).exit_code, 0) << i;
    }
};

TEST_F(MessageStorage, AFullMemoryIsDrainedAndWhatTheNetworkHeldComesInAfterIt) {
    ASSERT_EQ(ctl({"storage", "SM", "3", "ME", "2"}).exit_code, 0);
    for (int i = 1; i <= 6; ++i) {
        deliver(i); // the SIM receives until the gateway chooses: three stored, three held
    }
    ASSERT_TRUE(has(status(), "memories=SM:3/3,ME:0/2 cpms=SM,SM,SM held=3 ")) << status();
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return received("6"); }, 20000)) << file_bytes("sms.log");
    // A burst while it runs fills the phone's memory again; the network holds the rest meanwhile.
    for (int i = 7; i <= 14; ++i) {
        deliver(i);
    }
    ASSERT_TRUE(eventually([&] { return received("14"); }, 30000)) << file_bytes("sms.log") << status();
    EXPECT_TRUE(has(status(), "cpms=")) << status();
    EXPECT_TRUE(has(file_bytes("sms.log"), "storage full=SM")) << file_bytes("sms.log");
    expect_each_once(14);
}

TEST_F(MessageStorage, MessagesInTheSimAndInThePhonesMemoryAreAllReceived) {
    ASSERT_EQ(ctl({"storage", "SM", "5", "ME", "5"}).exit_code, 0);
    deliver(1, {"--memory", "SM"});
    deliver(2, {"--memory", "ME"});
    deliver(3, {"--memory", "ME"});
    start_gateway({"--responsive"});
    ASSERT_TRUE(eventually([&] { return received("3"); }, 20000)) << file_bytes("sms.log");
    deliver(4); // into the phone's memory, the one the gateway chose to receive into
    ASSERT_TRUE(eventually([&] { return received("4"); }, 20000)) << file_bytes("sms.log");
    EXPECT_TRUE(has(status(), "cpms=")) << status();
    EXPECT_TRUE(has(status(), ",ME held=0")) << status();
    EXPECT_TRUE(has(file_bytes("sms.log"), "storages read=SM,ME receive=ME")) << file_bytes("sms.log");
    expect_each_once(4);
}

struct DeleteErrorCase {
    const char* name;
    std::vector<std::string> flags;
    int messages;
};

class UndeletedMessages : public MessageStorage, public ::testing::WithParamInterface<DeleteErrorCase> {};

// The modem refuses the first deletes: the messages stay listed, are deleted again at the next pass,
// and are stored once, with fixed waits as in responsive mode.
TEST_P(UndeletedMessages, AreStoredOnceAndDeletedAgain) {
    const DeleteErrorCase& c = GetParam();
    ASSERT_EQ(ctl({"storage", "delete-error", std::to_string(c.messages)}).exit_code, 0);
    for (int i = 1; i <= c.messages; ++i) {
        deliver(i);
    }
    start_gateway(c.flags);
    ASSERT_TRUE(eventually([&] { return has(status(), "stored=0/"); }, 40000)) << file_bytes("sms.log") << status();
    EXPECT_TRUE(has(status(), "delete-error=none")) << status();
    EXPECT_TRUE(has(file_bytes("sms.log"), "stored already")) << file_bytes("sms.log");
    expect_each_once(c.messages);
    EXPECT_EQ(file_bytes(day + "/recv/acc"), std::to_string(c.messages));
}

const DeleteErrorCase delete_error_cases[] = {
    {"responsive", {"--responsive"}, 3},
    {"fixed_waits", {}, 1},
};

INSTANTIATE_TEST_SUITE_P(Modes, UndeletedMessages, ::testing::ValuesIn(delete_error_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatorHelp, ExplainsTheStorageCommands) {
    ProgramResult help = run_program(built_program("programs/vmsms-modemsim"), {"--help"});
    ASSERT_EQ(help.exit_code, 0);
    for (const char* entry : {"  storage SM SLOTS [ME SLOTS]", "  storage delete-error COUNT|always|none",
                              "  deliver ... --memory SM|ME"}) {
        EXPECT_NE(help.out.find(entry), std::string::npos) << entry;
    }
}

} // namespace
