// The engine's status file: the modem's signal and registration read from its answers, the file's
// round trip, the states the engine writes, and when a responsive engine asks the modem.
#include "engine/report/engine_status.h"
#include "modem/link_recovery.h"
#include "modem/modem_status.h"
#include "modem/signal_watch.h"
#include "platform/text_file.h"
#include "store/status_file.h"
#include "support/engine_fixture.h"
#include "support/memory_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct SignalCase {
    const char* answer;
    std::optional<int> rssi;
    std::optional<int> dbm;
    const char* grade;
};

TEST(ModemSignal, ReadFromTheAnswerToCsq) {
    const SignalCase cases[] = {
        {"AT+CSQ\r\r\n+CSQ: 25,99\r\n\r\nOK\r\n", 25, -63, "excellent"},
        {"\r\n+CSQ: 0,0\r\n\r\nOK\r\n", 0, -113, "weak"},
        {"\r\n+CSQ: 9,3\r\nOK\r\n", 9, -95, "weak"},
        {"\r\n+CSQ: 10,0\r\nOK\r\n", 10, -93, "fair"},
        {"\r\n+CSQ: 15,0\r\nOK\r\n", 15, -83, "good"},
        {"\r\n+CSQ:31,99\r\nOK\r\n", 31, -51, "excellent"},
        {"\r\n+CSQ: 99,99\r\nOK\r\n", 99, std::nullopt, "not known"},
        {"\r\n+CSQ: 32,99\r\nOK\r\n", std::nullopt, std::nullopt, ""},
        {"\r\n+CSQ: 25\r\nOK\r\n", std::nullopt, std::nullopt, ""},
        {"\r\nERROR\r\n", std::nullopt, std::nullopt, ""},
        {"", std::nullopt, std::nullopt, ""},
    };
    for (const SignalCase& c : cases) {
        SCOPED_TRACE(c.answer);
        std::optional<ModemSignal> signal = parse_signal(c.answer);
        ASSERT_EQ(signal.has_value(), c.rssi.has_value());
        if (signal) {
            EXPECT_EQ(signal->rssi, *c.rssi);
            EXPECT_EQ(signal_dbm(*signal), c.dbm);
            EXPECT_STREQ(signal_grade(*signal), c.grade);
        }
    }
}

TEST(ModemRegistration, ReadFromTheAnswerToCregOrItsAnnouncement) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"AT+CREG?\r\r\n+CREG: 0,1\r\n\r\nOK\r\n", 1},
        {"\r\n+CREG: 2,5,\"1A2B\",\"00C3\"\r\nOK\r\n", 5},
        {"\r\n+CREG: 1,3\r\nOK\r\n", 3},
        {"\r\n+CREG: 2\r\n", 2}, // an announcement: the state alone
        {"\r\n+CREG: 0,7\r\nOK\r\n", std::nullopt},
        {"\r\n+CME ERROR: 10\r\n", std::nullopt},
    };
    for (const auto& [answer, stat] : cases) {
        SCOPED_TRACE(answer);
        std::optional<ModemRegistration> registration = parse_registration(answer);
        ASSERT_EQ(registration.has_value(), stat.has_value());
        if (registration) {
            EXPECT_EQ(registration->stat, *stat);
        }
    }
    EXPECT_TRUE(registered({1}));
    EXPECT_TRUE(registered({5}));
    EXPECT_FALSE(registered({2}));
    EXPECT_STREQ(registration_words({3}), "registration denied");
    EXPECT_STREQ(registration_words_zh({5}), "已注册，漫游");
}

class StatusFile : public TempDirTest {};

TEST_F(StatusFile, WhatIsWrittenIsReadBack) {
    EXPECT_FALSE(read_status_file());
    GatewayStatus status;
    status.pid = 4242;
    status.state = EngineRunState::LinkDown;
    status.since = "2004-5-6 7:01:05";
    status.changed = "2004-5-6 7:02:00";
    status.signal = ModemSignal{12, 0};
    status.registration = ModemRegistration{5};
    status.modem_asked = "2004-5-6 7:01:06";
    ASSERT_TRUE(write_status_file(status));
    std::optional<GatewayStatus> back = read_status_file();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pid, 4242);
    EXPECT_EQ(back->state, EngineRunState::LinkDown);
    EXPECT_EQ(back->since, status.since);
    EXPECT_EQ(back->changed, status.changed);
    ASSERT_TRUE(back->signal);
    EXPECT_EQ(back->signal->rssi, 12);
    ASSERT_TRUE(back->registration);
    EXPECT_EQ(back->registration->stat, 5);
    EXPECT_EQ(back->modem_asked, status.modem_asked);
}

TEST_F(StatusFile, UnknownLinesArePassedOverAndMissingOnesStayEmpty) {
    ASSERT_TRUE(write_text_file("status.txt", "pid=7\nstate=paused\nfuture=1\nsignal=x\n"));
    std::optional<GatewayStatus> status = read_status_file();
    ASSERT_TRUE(status);
    EXPECT_EQ(status->pid, 7);
    EXPECT_EQ(status->state, EngineRunState::Paused);
    EXPECT_FALSE(status->signal);
    EXPECT_FALSE(status->registration);
    ASSERT_TRUE(write_text_file("status.txt", "nothing here\n"));
    EXPECT_FALSE(read_status_file());
}

TEST_F(StatusFile, TheEngineWritesItsStatesAndTracesAFailedWrite) {
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    MemoryTrace trace;
    EngineStatus status(clock, trace);
    status.started();
    std::optional<GatewayStatus> read = read_status_file();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->pid, static_cast<long>(::getpid()));
    EXPECT_EQ(read->state, EngineRunState::Running);
    EXPECT_EQ(read->since, "2004-5-6 7:01:05");
    EXPECT_FALSE(read->signal);

    clock.sleep_ms(60000);
    status.set_modem(ModemSignal{20, 99}, std::nullopt);
    status.set_state(EngineRunState::Paused);
    read = read_status_file();
    EXPECT_EQ(read->state, EngineRunState::Paused);
    EXPECT_EQ(read->since, "2004-5-6 7:01:05");
    EXPECT_EQ(read->modem_asked, "2004-5-6 7:02:05");
    ASSERT_TRUE(read->signal);
    EXPECT_EQ(read->signal->rssi, 20);
    EXPECT_FALSE(read->registration);

    // A status file that cannot be replaced (a directory stands in its way): the engine goes on, the
    // trace says why.
    ASSERT_EQ(::rename("status.txt", "status.old"), 0);
    ASSERT_EQ(::mkdir("status.txt", 0755), 0);
    status.set_state(EngineRunState::Stopped);
    EXPECT_TRUE(trace.contains("cannot write status.txt"));
}

// A responsive engine asks the modem at its first cycle, again a minute later, and again at once after
// the link was reopened; the fixed-wait engine never asks.
class SignalWatch : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.responsive = true;
        ctx.status = &status;
        port.standing({{"AT+CSQ\r", "\r\n+CSQ: 18,99\r\n\r\nOK\r\n"}, {"AT+CREG?\r", "\r\n+CREG: 0,5\r\n\r\nOK\r\n"}});
    }
    NullTrace no_trace;
    EngineStatus status{clock, no_trace};
};

TEST_F(SignalWatch, AskedAtTheFirstCycleThenEveryMinute) {
    const std::string questions = "AT+CSQ\rAT+CREG?\r";
    watch_modem_status(ctx);
    EXPECT_EQ(port.written(), questions);
    std::optional<GatewayStatus> read = read_status_file();
    ASSERT_TRUE(read && read->signal && read->registration);
    EXPECT_EQ(read->signal->rssi, 18);
    EXPECT_EQ(read->registration->stat, 5);
    EXPECT_EQ(read->modem_asked, "2004-5-6 7:01:05");

    clock.sleep_ms(modem_status_interval_ms - 1);
    watch_modem_status(ctx);
    EXPECT_EQ(port.written(), questions);
    clock.sleep_ms(1);
    watch_modem_status(ctx);
    EXPECT_EQ(port.written(), questions + questions);
}

TEST_F(SignalWatch, AskedAgainOnceTheLinkIsBackAndTheDownTimeShows) {
    port.standing({{"AT+CSQ\r", "\r\n+CSQ: 18,99\r\n\r\nOK\r\n"},
                   {"AT+CREG?\r", "\r\n+CREG: 0,5\r\n\r\nOK\r\n"},
                   {"AT+CMGF=0", "\r\nOK\r\n"}});
    status.started();
    // The waits before each reopening look at the status file.
    struct LookingPacer : Pacer {
        Clock& clock;
        std::vector<EngineRunState> seen;
        explicit LookingPacer(Clock& c) : clock(c) {}
        void checkpoint() override {}
        void sleep(int ms) override {
            seen.push_back(read_status_file()->state);
            clock.sleep_ms(ms);
        }
    } pacer_looking{clock};
    EngineContext recovering{link, clock, pacer_looking, options, output, logs, {}, nullptr, &status};
    watch_modem_status(recovering);
    refused_opens = 1; // the device is missing at the first reopening
    link.mark_down("test");
    recover_link(recovering);
    EXPECT_EQ(pacer_looking.seen, std::vector<EngineRunState>({EngineRunState::LinkDown, EngineRunState::LinkDown}));
    EXPECT_EQ(read_status_file()->state, EngineRunState::Running);
    const std::string before = port.written();
    watch_modem_status(recovering);
    EXPECT_EQ(port.written().substr(before.size()), "AT+CSQ\rAT+CREG?\r");
}

TEST_F(SignalWatch, AModemThatRefusesLeavesBothUnknown) {
    port.standing({{"AT+C", "\r\nERROR\r\n"}});
    watch_modem_status(ctx);
    std::optional<GatewayStatus> read = read_status_file();
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->signal);
    EXPECT_FALSE(read->registration);
    EXPECT_FALSE(read->modem_asked.empty());
}

TEST_F(SignalWatch, TheFixedWaitModeAsksNothing) {
    options.responsive = false;
    watch_modem_status(ctx);
    EXPECT_EQ(port.written(), "");
    EXPECT_FALSE(read_status_file());
}

} // namespace
