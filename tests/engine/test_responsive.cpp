#include "engine/incoming/inbox_pass.h"
#include "engine/outgoing/submission.h"
#include "modem/awaited_answer.h"
#include "modem/indications.h"
#include "modem/link_recovery.h"
#include "platform/gbk.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

// The engine in responsive mode at the fastest speed, sending one Chinese record.
class Responsive : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.responsive = true;
        options.speed = 0;
    }
    UserData chinese() {
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk("你好");
        return {"4F60597D", 0};
    }
    void submit() { submit_to_recipient(ctx, "13900000001", chinese(), 3, 0); }
    bool written(const std::string& bytes) const {
        for (const PortWrite& w : port.writes()) {
            if (w.bytes == bytes) {
                return true;
            }
        }
        return false;
    }
    std::string sent_line() const { return "SMS Create Day: 2004-5-6     13900000001   0" + gbk("    发送成功.\r\n"); }
};

TEST_F(Responsive, ThePduWaitsForThePromptAndTheAttemptEndsWithTheAnswer) {
    port.script({{"at+cmgs=", "at+cmgs=19\r\r\n> ", 300}, {"00", "\r\n+CMGS: 7\r\n\r\nOK\r\n", 500}});
    submit();
    std::vector<PortWrite> writes = port.writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, "at+cmgs=19\r");
    EXPECT_EQ(writes[1].at_ms, 300); // the PDU goes the moment the prompt is there
    EXPECT_EQ(clock.elapsed_ms(), 800);
    EXPECT_EQ(clock.sleeps(), (std::vector<int>{300, 500})); // no fixed waits, only the modem's time
    // The same report, monitor and trace lines as with fixed waits.
    EXPECT_EQ(report("SUCC"), "3.0," + time_text(clock.now()) + "   13900000001    " + gbk("你好") + "\r\r\n");
    EXPECT_EQ(output.prepended(), std::vector<std::string>{sent_line()});
    std::string trace = trace_text();
    // The trace file stores each line feed as CR LF.
    EXPECT_NE(trace.find("cmgs=at+cmgs=19\r\r\n"), std::string::npos);
    EXPECT_NE(trace.find("read_com1(cmgs)=at+cmgs=19\r\r\r\n> \r\r\n+CMGS: 7"), std::string::npos) << trace;
}

struct FinalCase {
    const char* name;
    const char* answer; // to the PDU
    bool sent;
    const char* monitor_end; // UTF-8
    bool announced;
};

class ResponsiveFinal : public Responsive, public ::testing::WithParamInterface<FinalCase> {};

TEST_P(ResponsiveFinal, OnlyAReferenceAndOkCountAsSent) {
    port.script({{"at+cmgs=", "\r\n> "}, {"00", GetParam().answer}});
    submit();
    EXPECT_EQ(report("SUCC").empty(), !GetParam().sent);
    EXPECT_EQ(report("FAIL").empty(), GetParam().sent);
    ASSERT_EQ(output.prepended().size(), 1u);
    EXPECT_TRUE(output.prepended()[0].ends_with(gbk(GetParam().monitor_end))) << output.prepended()[0];
    EXPECT_EQ(ctx.state.indications.message_announced, GetParam().announced);
    EXPECT_EQ(clock.elapsed_ms(), 0); // every answer here is complete at once
}

const FinalCase finals[] = {
    {"reference_and_ok", "\r\n+CMGS: 7\r\n\r\nOK\r\n", true, "    发送成功.\r\n", false},
    {"ok_without_reference", "\r\nOK\r\n", false, "    发送失败!!!\r\n", false},
    {"error", "\r\nERROR\r\n", false, "    发送失败!!!\r\n", false},
    {"cms_error_with_number", "\r\n+CMS ERROR: 38\r\n", false, "    发送失败!!!  +CMS ERROR: 38 网络故障\r\n", false},
    {"cms_error_without_number", "\r\n+CMS ERROR\r\n", false, "    发送失败!!!\r\n", false},
    {"cme_error", "\r\n+CME ERROR: 30\r\n", false, "    发送失败!!!  +CME ERROR: 30 无网络服务\r\n", false},
    {"new_message_announced_mid_send", "\r\n+CMTI: \"SM\",3\r\n\r\n+CMGS: 7\r\n\r\nOK\r\n", true, "    发送成功.\r\n",
     true},
};

INSTANTIATE_TEST_SUITE_P(Table, ResponsiveFinal, ::testing::ValuesIn(finals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Responsive, MissingPromptFailsTheAttemptAndCancelsThePromptThatMayStillCome) {
    port.script({{"at+cmgs=", "at+cmgs=19\r"}}); // the echo, and then nothing
    submit();
    EXPECT_TRUE(sent_pdus().empty());
    EXPECT_TRUE(written("\x1b"));
    EXPECT_EQ(clock.elapsed_ms(), prompt_timeout_ms);
    EXPECT_FALSE(report("FAIL").empty());
    EXPECT_NE(trace_text().find("no prompt within 5000 ms"), std::string::npos);
}

TEST_F(Responsive, AnErrorInsteadOfThePromptFailsAtOnceWithItsReason) {
    port.script({{"at+cmgs=", "\r\n+CMS ERROR: 330\r\n"}});
    submit();
    EXPECT_TRUE(sent_pdus().empty());
    EXPECT_EQ(clock.elapsed_ms(), 0);
    ASSERT_EQ(output.prepended().size(), 1u);
    EXPECT_TRUE(output.prepended()[0].ends_with(gbk("  +CMS ERROR: 330 短信中心号码未知\r\n")));
    EXPECT_NE(trace_text().find("modem error=+CMS ERROR: 330"), std::string::npos);
}

TEST_F(Responsive, AnAnnouncementBeforeThePromptDoesNotStandInForIt) {
    port.script({{"at+cmgs=", "\r\n+CMTI: \"SM\",4\r\n"}, {"00", "\r\n+CMGS: 7\r\n\r\nOK\r\n"}});
    port.push_input_at(200, "\r\n> ");
    submit();
    ASSERT_EQ(port.writes().size(), 2u);
    EXPECT_EQ(port.writes()[1].at_ms, 200);
    EXPECT_FALSE(report("SUCC").empty());
    EXPECT_TRUE(ctx.state.indications.message_announced);
}

TEST_F(Responsive, ALateAnswerSplitOverReadsIsWaitedForWhole) {
    port.script({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 5\r\n", 800}});
    port.push_input_at(1500, "\r\nOK\r\n");
    submit();
    EXPECT_FALSE(report("SUCC").empty());
    EXPECT_EQ(clock.elapsed_ms(), 1500);
}

TEST_F(Responsive, NoFinalResultCodeWithinTheNetworkTimeOutIsNotSent) {
    port.script({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 5\r\n"}});
    submit();
    EXPECT_TRUE(report("SUCC").empty());
    EXPECT_FALSE(report("FAIL").empty());
    EXPECT_EQ(clock.elapsed_ms(), network_timeout_ms);
    EXPECT_NE(trace_text().find("no final result code within 60000 ms"), std::string::npos);
}

TEST_F(Responsive, ASilentModemIsALinkDownAndTheAttemptIsMadeAgainOnceItIsBack) {
    port.set_silent(true);
    port.script({{"AT+CMGF=0", "\r\nOK\r\n"}, {"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 7\r\n\r\nOK\r\n"}});
    submit();
    EXPECT_EQ(opens, 1); // reopened once: the fixture's device answers again
    // The silent attempt got no prompt, so its PDU was never written; the same attempt went again.
    EXPECT_EQ(send_commands().size(), 2u);
    EXPECT_EQ(sent_pdus().size(), 1u);
    EXPECT_EQ(output.prepended().back(), sent_line());
    EXPECT_TRUE(report("FAIL").empty());
}

TEST_F(Responsive, RetriesAndTheirWaitsKeepTheirMeaningOnTheShorterScale) {
    options.retry = true;
    options.speed = 5;
    options.pause_after_failure = true;
    port.standing({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMS ERROR: 500\r\n"}});
    submit();
    EXPECT_EQ(send_commands().size(), 6u);
    std::vector<int> expected;
    for (int a = 0; a < 6; ++a) {
        if (a > 0) {
            expected.push_back(500 * a); // before a retry
        }
        expected.push_back(50 + 100 * a); // between the prompt and the PDU: speed and attempt
        expected.push_back(2000);         // the pause after a failure
    }
    EXPECT_EQ(clock.sleeps(), expected);
    EXPECT_EQ(output.prepended().size(), 6u);
    std::string failure = report("FAIL"); // one line, after the last attempt
    EXPECT_EQ(failure.find("3.0,"), 0u);
    EXPECT_EQ(failure.find("3.0,", 1), std::string::npos);
}

// The inbox in responsive mode.
class ResponsiveInbox : public Responsive {};

TEST_F(ResponsiveInbox, TheListingIsReadToItsOkAndAnnouncementsInItAreLeftOut) {
    std::string first = deliver_pdu("13900000001", "hello");
    std::string second = deliver_pdu("13900000002", "*A1");
    std::string answer = "at+cmgl=4\r\r\n+CMTI: \"SM\",3\r\n\r\n+CMGL: 1,0,,20\r\n" + first +
                         "\r\n\r\n+CMTI: \"SM\",4\r\n+CMGL: 2,0,,20\r\n" + second + "\r\n\r\nOK\r\n";
    port.script({{"at+cmgl=4", answer.substr(0, 40)}});
    port.push_input_at(300, answer.substr(40));
    port.standing({{"at+cmgd=", "\r\nOK\r\n"}, {"at+cmgs=", "\r\n> "}});
    EXPECT_EQ(run_inbox_pass(ctx), 2);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "hello");
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "*A1");
    EXPECT_EQ(deletes(), (std::vector<std::string>{"at+cmgd=1\r\n", "at+cmgd=2\r\n"}));
    EXPECT_EQ(clock.elapsed_ms(), 300);             // the listing's own time; the deletes end on their OK
    EXPECT_EQ(read_counter(day, SpoolDir::New), 1); // the query's reply is queued
}

TEST_F(ResponsiveInbox, AListingWithoutItsOkEndsAfterItFallsQuietAndTheModemIsReset) {
    port.script({{"at+cmgl=4", "at+cmgl=4\r"}, {"at\r\n", "\r\nOK\r\n"}});
    std::string listing = read_listing(ctx);
    EXPECT_TRUE(written("at\r\n"));
    EXPECT_EQ(listing, "at+cmgl=4\r \r\n \r\n OK");
    EXPECT_EQ(clock.elapsed_ms(), listing_quiet_ms);
    EXPECT_FALSE(link.broken());
}

TEST_F(ResponsiveInbox, AListingThatNeverEndsIsTakenAsAFaultyModem) {
    options.max_listing_bytes = 1024;
    std::string entry = "+CMGL: 1,0,,20\r\n" + deliver_pdu("13900000001", "x") + "\r\n";
    std::string endless;
    while (endless.size() < 4096) {
        endless += entry;
    }
    port.script({{"at+cmgl=4", endless}});
    EXPECT_EQ(read_listing(ctx), "");
    EXPECT_TRUE(link.broken());
}

TEST_F(ResponsiveInbox, AListingThatTricklesIsCutAtItsTimeBound) {
    options.max_listing_seconds = 5;
    std::string entry = "+CMGL: 1,0,,20\r\n" + deliver_pdu("13900000001", "x") + "\r\n";
    port.script({{"at+cmgl=4", ""}});
    // Forty bytes every 200 ms: never quiet for long, far below the byte bound, never ending.
    for (long long at = 200, i = 0; at <= 60000; at += 200, ++i) {
        port.push_input_at(at, entry.substr((i * 40) % entry.size(), 40));
    }
    EXPECT_EQ(read_listing(ctx), "");
    EXPECT_TRUE(link.broken());
    EXPECT_EQ(clock.elapsed_ms(), 5000);
    EXPECT_NE(trace_text().find("listing still coming after 5 s: modem taken as faulty"), std::string::npos);
}

TEST_F(ResponsiveInbox, StartUpWaitsOnlyForThePduModeAnswer) {
    port.script({{"AT+CMGF=0", "AT+CMGF=0\r\r\nOK\r\n", 40}});
    EXPECT_EQ(modem_startup_exchange(ctx), "AT+CMGF=0\r\r\nOK\r\n");
    EXPECT_EQ(clock.elapsed_ms(), 40);
}

// Indications and idling.
class Indications : public Responsive {};

TEST_F(Indications, TheModemIsAskedOnceAndToldToStopWhenTheModeIsSwitchedOff) {
    port.standing({{"AT+CNMI=", "\r\nOK\r\n"}});
    sync_indications(ctx);
    sync_indications(ctx);
    EXPECT_EQ(port.written(), "AT+CNMI=2,1,0,0,0\r\n");
    EXPECT_TRUE(ctx.state.indications.on);
    options.responsive = false;
    sync_indications(ctx);
    sync_indications(ctx);
    EXPECT_EQ(port.written(), "AT+CNMI=2,1,0,0,0\r\nAT+CNMI=0,0,0,0,0\r\n");
}

TEST_F(Indications, AModemWithoutIndicationsIsAskedBothWaysThenPolled) {
    port.standing({{"AT+CNMI=", "\r\n+CMS ERROR: 303\r\n"}});
    sync_indications(ctx);
    sync_indications(ctx);
    EXPECT_EQ(port.written(), "AT+CNMI=2,1,0,0,0\r\nAT+CNMI=1,1,0,0,0\r\n");
    EXPECT_FALSE(ctx.state.indications.on);
    EXPECT_NE(trace_text().find("listing every 1000 ms when idle"), std::string::npos);
}

TEST_F(Indications, WithTheModeOffNothingIsEverSent) {
    options.responsive = false;
    sync_indications(ctx);
    EXPECT_EQ(port.written(), "");
}

TEST_F(Indications, AnIdleEngineListsAgainAfterThePollingInterval) {
    wait_for_work(ctx);
    EXPECT_EQ(clock.elapsed_ms(), poll_interval_ms);
    EXPECT_FALSE(ctx.state.indications.message_announced);
}

TEST_F(Indications, AnAnnouncementEndsTheIdlingAtOnce) {
    port.push_input_at(300, "\r\n+CMTI: \"SM\",");
    port.push_input_at(310, "2\r\n");
    wait_for_work(ctx);
    EXPECT_EQ(clock.elapsed_ms(), 310);
    EXPECT_TRUE(ctx.state.indications.message_announced);
    EXPECT_NE(trace_text().find("+CMTI: \"SM\",2"), std::string::npos);
}

// A modem line that queues a record (as the window or vmsms-send would) when it is first read.
class QueueingPort : public FakeSerialPort {
public:
    QueueingPort(VirtualClock& clock, std::function<void()> queue) : FakeSerialPort(&clock), queue_(std::move(queue)) {}
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override {
        if (queue_) {
            std::exchange(queue_, nullptr)();
        }
        return FakeSerialPort::read_some(buffer, count, timeout_ms);
    }

private:
    std::function<void()> queue_;
};

TEST_F(Indications, ARecordQueuedWhileIdleEndsTheIdlingAtTheNextLook) {
    QueueingPort queueing(clock, [this] { queue("13900000001", "hi"); });
    ModemLink line(std::make_unique<BorrowedPort>(queueing), {}, "/dev/ttyS1");
    EngineContext idle{line, clock, pacer, options, output, logs, {}};
    idle.state.spool_date = day;
    wait_for_work(idle);
    EXPECT_EQ(clock.elapsed_ms(), 200); // the queue is looked at after every fifth of a second
}

} // namespace
