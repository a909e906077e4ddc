#include "engine/engine_halt.h"
#include "engine/outgoing/send_limiter.h"
#include "engine/outgoing/send_pass.h"
#include "platform/gbk.h"
#include "store/limit_counts.h"
#include "store/reply_records.h"
#include "store/send_position.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

SendLimits per_minute(long n) {
    SendLimits limits;
    limits.per_minute = n;
    return limits;
}

class SendLimiterTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        port.standing(accepting_modem());
        options.responsive = true; // answers at once: the messages go at the clock's time
    }
    void use(SendLimiter& limiter) { ctx.limiter = &limiter; }
    long done_in_record() { return read_send_position(day).value_or(SendPosition{}).done; }
};

// The third recipient under PER_MINUTE=2 is postponed, not failed: it keeps its place, the hold is
// said once, and it goes when the minute allows; a restarted engine counts what the first one sent.
TEST_F(SendLimiterTest, ARecipientOverTheLimitKeepsItsPlaceAndGoesWhenTheMinuteAllows) {
    SendLimiter limiter(per_minute(2), 1);
    use(limiter);
    long k = queue("13900000001\r\n13900000002\r\n13900000003\r\n", std::string(1, 2) + "hi");
    EXPECT_THROW(process_record(ctx, k), SendingHeld);
    EXPECT_EQ(sent_pdus().size(), 2u);
    EXPECT_EQ(done_in_record(), 2);
    EXPECT_EQ(report("FAIL"), "");
    EXPECT_NE(output.monitor().find(gbk("发送暂停：每分钟限额 2 条，2004-5-6 7:02:05 后继续")), std::string::npos)
        << output.monitor();

    SendLimiter restarted(per_minute(2), 1);
    use(restarted);
    EXPECT_FALSE(restarted.may_send_now(ctx));
    clock.sleep_ms(58000); // the counts are kept to the second
    EXPECT_FALSE(restarted.may_send_now(ctx));
    clock.sleep_ms(2000);
    EXPECT_TRUE(restarted.may_send_now(ctx));
    process_record(ctx, k);
    EXPECT_EQ(sent_pdus().size(), 3u);
    EXPECT_EQ(destinations().back(), "8613900000003");
    EXPECT_EQ(report("FAIL"), "");
    EXPECT_EQ(read_limit_counts()->day_count, 3);
}

// A long message counts its parts: two parts do not fit in a minute that has room for one.
TEST_F(SendLimiterTest, ALongMessageCountsItsParts) {
    SendLimiter limiter(per_minute(3), 1);
    use(limiter);
    long one = queue("13900000001\r\n", std::string(1, 2) + "hi");
    process_record(ctx, one);
    std::vector<UserData> two_parts = {{"00", 0}, {"00", 0}};
    limiter.sent(ctx, "13900000009", 1);
    EXPECT_THROW(limiter.before_message(ctx, "13900000002", 2, false), SendingHeld);
    EXPECT_NO_THROW(limiter.before_message(ctx, "13900000002", 1, false));
}

// The jitter waits a time from its span before every message but the first.
TEST_F(SendLimiterTest, JitterWaitsWithinItsSpanBetweenMessages) {
    SendLimits limits;
    limits.jitter_ms = std::make_pair(500, 3000);
    SendLimiter limiter(limits, 7);
    use(limiter);
    long k = queue("13900000001\r\n13900000002\r\n13900000003\r\n", std::string(1, 2) + "hi");
    clock.clear_sleeps();
    process_record(ctx, k);
    std::vector<int> jitter;
    std::string trace = trace_text();
    for (std::size_t at = trace.find("jitter "); at != std::string::npos; at = trace.find("jitter ", at + 1)) {
        jitter.push_back(std::stoi(trace.substr(at + 7)));
    }
    ASSERT_EQ(jitter.size(), 2u) << trace;
    std::vector<int> sleeps = clock.sleeps();
    for (int ms : jitter) {
        EXPECT_GE(ms, 500);
        EXPECT_LE(ms, 3000);
        EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), ms), sleeps.end()) << ms;
    }
    EXPECT_EQ(sent_pdus().size(), 3u);
}

// In the quiet span the day's records wait, but an on-demand reply goes ahead of them (unless
// QUIET_REPLIES=0); when the span ends the records go and the reply is not sent again.
TEST_F(SendLimiterTest, QuietHoursLetRepliesThroughAndHoldTheRest) {
    SendLimits limits;
    limits.quiet = parse_quiet_span("21:00-08:00");
    SendLimiter limiter(limits, 1);
    use(limiter);
    long bulk = queue("13900000001\r\n", std::string(1, 2) + "offer");
    long reply = queue("13900000002\r\n", std::string(1, 2) + "answer");
    ASSERT_TRUE(note_reply_record(day, reply));
    clock.set({2004, 5, 6, 23, 0, 0});
    EXPECT_FALSE(limiter.may_send_now(ctx));
    EXPECT_NE(output.monitor().find(gbk("静默时段 21:00-08:00，2004-5-7 8:00:00 后继续")), std::string::npos)
        << output.monitor();
    ASSERT_TRUE(limiter.replies_may_go(ctx));
    send_replies_early(ctx, 0, reply);
    EXPECT_EQ(destinations(), std::vector<std::string>{"8613900000002"});
    EXPECT_EQ(read_early_records(day), std::set<long>{reply});

    clock.set({2004, 5, 7, 8, 0, 0});
    EXPECT_TRUE(limiter.may_send_now(ctx));
    run_send_pass(ctx, bulk - 1, reply);
    EXPECT_EQ(destinations(), (std::vector<std::string>{"8613900000002", "8613900000001"}));

    limits.quiet_replies = false;
    SendLimiter strict(limits, 1);
    clock.set({2004, 5, 7, 22, 0, 0});
    EXPECT_FALSE(strict.replies_may_go(ctx));
}

// The engines of a pool each hold their own SIM to the limits: one at its day's limit waits while the
// other goes on, each counts into its own files, and a restarted engine reads back its own counts.
TEST_F(SendLimiterTest, EachModemOfAPoolIsHeldByItsOwnCounts) {
    SendLimits limits;
    limits.per_day = 2;
    limits.recipients_per_month = 3;
    SendLimiter first(limits, 1, "MODEM1");
    SendLimiter second(limits, 1, "MODEM2");
    for (const char* phone : {"13900000001", "13900000002"}) {
        first.before_message(ctx, phone, 1, false);
        first.sent(ctx, phone, 1);
        clock.sleep_ms(1000);
    }
    EXPECT_THROW(first.before_message(ctx, "13900000003", 1, false), SendingHeld);
    EXPECT_FALSE(first.may_send_now(ctx));

    EXPECT_TRUE(second.may_send_now(ctx));
    for (const char* phone : {"13900000004", "13900000005"}) {
        EXPECT_NO_THROW(second.before_message(ctx, phone, 1, false));
        second.sent(ctx, phone, 1);
    }
    EXPECT_FALSE(second.may_send_now(ctx));
    EXPECT_EQ(read_limit_counts()->day_count, 2);
    EXPECT_EQ(read_limit_counts("MODEM2")->day_count, 2);
    EXPECT_EQ(read_month_recipients("2004-05", "MODEM2"), (std::set<std::string>{"+8613900000004", "+8613900000005"}));

    SendLimiter restarted(limits, 1, "MODEM2");
    EXPECT_FALSE(restarted.may_send_now(ctx));
    clock.set({2004, 5, 7, 0, 0, 1}); // the next day frees both
    EXPECT_TRUE(restarted.may_send_now(ctx));
    EXPECT_TRUE(first.may_send_now(ctx));
    // RECIPIENTS_PER_MONTH is the SIM's own too: MODEM1 has messaged two numbers, so a third is one more.
    EXPECT_NO_THROW(first.before_message(ctx, "13900000004", 1, false));
    first.sent(ctx, "13900000004", 1);
    EXPECT_THROW(first.before_message(ctx, "13900000009", 1, false), SendingHeld);
    EXPECT_NO_THROW(restarted.before_message(ctx, "13900000001", 1, false));
}

} // namespace
