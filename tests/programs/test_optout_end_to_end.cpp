// The opt-out list end to end: a "TD" from a phone through the simulated modem and vmsmsd, the writers'
// counts, vmsms-optout and the intake's routes.
#include "platform/gbk.h"
#include "support/free_port.h"
#include "support/gateway_test.h"
#include "support/http_client.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ProgramResult optout(const std::vector<std::string>& args) {
    return run_program(built_program("programs/vmsms-optout"), args);
}

class OptOutEndToEnd : public GatewayTest {
protected:
    void opt_out_settings() {
        put_file("server.txt", file_bytes("server.txt") + "[OPTOUT]\r\nKEYWORDS=TD," + gbk("退订") +
                                   "\r\nREPLY=" + gbk("您已退订") +
                                   "\r\n[HOOKS]\r\nOPTOUT=sh -c 'echo \"$VMSMS_EVENT $VMSMS_NUMBER $VMSMS_TEXT\" "
                                   "> optout-hook.txt'\r\n");
    }
};

// A "TD" puts the number on the list and is confirmed; a message queued afterwards reaches the other
// recipient only, and the monitor says why the listed one got nothing.
TEST_F(OptOutEndToEnd, ATdStopsTheNextMessageToItsSender) {
    opt_out_settings();
    start_gateway({"--responsive"});
    ASSERT_EQ(ctl({"deliver", "--from", "+8613900000001", "--text", "td"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return has(modem->sent_text(), "您已退订"); }, 30000))
        << modem->sent_text() << file_bytes("vmsmsd.out");
    EXPECT_EQ(file_bytes("optout.txt"), "+8613900000001 " + day + " td\r\n");
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "td"); // stored as received
    ASSERT_TRUE(eventually([&] { return has(file_bytes("optout-hook.txt"), "13900000001 td\n"); }, 10000))
        << file_bytes("optout-hook.txt");
    EXPECT_EQ(file_bytes("optout-hook.txt").rfind("OPTOUT ", 0), 0u);

    ProgramResult queued = send({"--to", "13900000001", "--to", "13900000002", "促销"});
    ASSERT_EQ(queued.exit_code, 0) << queued.err;
    EXPECT_EQ(queued.out, "2\n");
    EXPECT_TRUE(has(queued.err, "1 of 2 recipients are on the opt-out list")) << queued.err;
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/send/acc") == "2"; }, 30000)) << file_bytes("vmsmsd.out");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);

    std::vector<std::string> sent = modem->sent_lines();
    ASSERT_EQ(sent.size(), 2u) << modem->sent_text();
    EXPECT_TRUE(has(sent[0], "to=+8613900000001") && has(sent[0], "您已退订")) << sent[0];
    EXPECT_TRUE(has(sent[1], "to=+8613900000002") && has(sent[1], "促销")) << sent[1];
    std::string failures = file_bytes("log/FAIL" + day + ".log");
    EXPECT_TRUE(has(failures, "2.0,") && has(failures, "13900000001    " + gbk("促销"))) << failures;
    EXPECT_TRUE(has(file_bytes("vmsmsd.out"), "13900000001   0    发送失败!!!  已退订")) << file_bytes("vmsmsd.out");
}

TEST_F(OptOutEndToEnd, ALongerTextWithTheKeywordChangesNothing) {
    opt_out_settings();
    start_gateway({"--responsive"});
    ASSERT_EQ(ctl({"deliver", "--from", "+8613900000001", "--text", "TD please call me"}).exit_code, 0);
    ASSERT_TRUE(eventually([&] { return file_bytes(day + "/recv/acc") == "1"; }, 30000)) << file_bytes("vmsmsd.out");
    gateway->signal(SIGTERM);
    EXPECT_EQ(gateway->wait(15000), 0);
    EXPECT_FALSE(exists("optout.txt"));
    EXPECT_EQ(modem->sent_text(), "");
}

class OptOutProgram : public TempDirTest {};

TEST_F(OptOutProgram, AddsListsAndRemovesWithClearStatuses) {
    ProgramResult added = optout({"add", "13900000001"});
    EXPECT_EQ(added.exit_code, 0) << added.err;
    EXPECT_EQ(added.out, "added +8613900000001\n");
    EXPECT_EQ(optout({"add", "+8613900000001"}).out, "already on the list: +8613900000001\n");
    ASSERT_EQ(optout({"add", "+447700900123"}).exit_code, 0);

    ProgramResult listed = optout({"list"});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_TRUE(has(listed.out, "+8613900000001 ") && has(listed.out, " manual\n+447700900123 ")) << listed.out;

    ProgramResult removed = optout({"remove", "8613900000001"});
    EXPECT_EQ(removed.exit_code, 0);
    EXPECT_EQ(removed.out, "removed +8613900000001\n");
    EXPECT_EQ(optout({"remove", "13900000001"}).out, "not on the list: +8613900000001\n");
    EXPECT_TRUE(has(file_bytes("optout.txt"), "+447700900123 ") && !has(file_bytes("optout.txt"), "+86"));
}

TEST_F(OptOutProgram, BadInputIsTwoAndAnUnreadableListIsOne) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    for (const Case& c : {Case{{}, 2}, Case{{"block", "139"}, 2}, Case{{"add"}, 2}, Case{{"add", "abc"}, 2},
                          Case{{"remove", "+"}, 2}, Case{{"list", "139"}, 2}, Case{{"add", "1", "2"}, 2},
                          Case{{"--dir"}, 2}, Case{{"--dir", "/nonexistent/x", "list"}, 1}}) {
        ProgramResult r = optout(c.args);
        EXPECT_EQ(r.exit_code, c.status) << testing::PrintToString(c.args) << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(exists("optout.txt"));
    put_file("optout.txt", std::string("+8613900000001 2026-1-1 TD\r\n\0", 29));
    EXPECT_EQ(optout({"list"}).exit_code, 1);
    EXPECT_EQ(optout({"add", "13900000002"}).exit_code, 1);
}

TEST_F(OptOutProgram, VmsmsSendSaysNothingWithoutAList) {
    ProgramResult queued = run_program(built_program("programs/vmsms-send"), {"--to", "13900000001", "hello"});
    ASSERT_EQ(queued.exit_code, 0);
    EXPECT_FALSE(has(queued.err, "opt-out")) << queued.err;
}

class OptOutIntake : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ProgramResult made = run_program(built_program("programs/vmsms-listener"), {"--new-token", "app"});
        ASSERT_EQ(made.exit_code, 0) << made.err;
        token = made.out.substr(0, made.out.find_last_not_of("\r\n") + 1);
        port = free_tcp_port();
        listener = std::make_unique<BackgroundProgram>(
            built_program("programs/vmsms-listener"),
            std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(port)}, dir() + "/listener.out");
        ASSERT_TRUE(eventually([&] { return has(file_bytes("listener.out"), "listening on"); }, 10000));
    }
    void TearDown() override {
        if (listener) {
            listener->signal(SIGTERM);
            listener->wait(10000);
        }
        TempDirTest::TearDown();
    }
    HttpAnswer ask(const std::string& method, const std::string& path, const std::string& body = "") {
        return http_request(port, method, path, token, body);
    }

    std::string token;
    int port = 0;
    std::unique_ptr<BackgroundProgram> listener;
};

TEST_F(OptOutIntake, RoutesChangeTheListAndQueueingCountsIt) {
    const std::string message = R"({"to": ["13900000001", "13900000002", "13900000003"], "text": "hi"})";
    HttpAnswer before = ask("POST", "/v1/messages", message);
    EXPECT_EQ(before.status, 201);
    EXPECT_FALSE(has(before.body, "opted_out")) << before.body; // no list: the answer as it always was

    HttpAnswer added = ask("POST", "/v1/optout", R"({"number": "13900000002"})");
    EXPECT_EQ(added.status, 201) << added.whole;
    EXPECT_TRUE(has(added.body, R"("number":"+8613900000002")")) << added.body;
    EXPECT_EQ(ask("POST", "/v1/optout", R"({"number": "+8613900000002"})").status, 200);
    EXPECT_EQ(ask("POST", "/v1/optout", R"({"number": "abc"})").status, 400);
    EXPECT_EQ(ask("POST", "/v1/optout", R"({"number": 139})").status, 400);
    EXPECT_EQ(ask("POST", "/v1/optout", R"({"number": "139", "x": 1})").status, 400);

    HttpAnswer queued = ask("POST", "/v1/messages", message);
    EXPECT_EQ(queued.status, 201);
    EXPECT_TRUE(has(queued.body, R"("opted_out":1)")) << queued.body;

    HttpAnswer listed = ask("GET", "/v1/optout");
    EXPECT_EQ(listed.status, 200);
    EXPECT_TRUE(has(listed.body, R"("count":1)") && has(listed.body, R"("number":"+8613900000002")") &&
                has(listed.body, R"("keyword":"manual")"))
        << listed.body;

    EXPECT_EQ(ask("DELETE", "/v1/optout/8613900000002").status, 200);
    EXPECT_EQ(ask("DELETE", "/v1/optout/13900000002").status, 404);
    EXPECT_EQ(ask("DELETE", "/v1/optout/abc").status, 400);
    EXPECT_TRUE(has(ask("POST", "/v1/messages", message).body, R"("opted_out":0)"));

    EXPECT_EQ(http_request(port, "GET", "/v1/optout", "wrong-token").status, 401);
    EXPECT_EQ(http_request(port, "POST", "/v1/optout", "wrong-token", R"({"number": "139"})").status, 401);
    EXPECT_EQ(file_bytes("optout.txt"), "");
}

} // namespace
