#include "engine/pool/recipient_dispatcher.h"
#include "store/pool_progress.h"
#include "store/spool.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

const std::string day = "2004-5-6";

class Dispatcher : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ensure_day_dirs(day);
    }
    void queue(const std::string& recipients) {
        ASSERT_GT(queue_outgoing_record(day, recipients, day + " 7:01:05", "hello", clock), 0);
    }
    // Every claim of `modem` until it gets none, each done at once: "record.position recipient".
    std::vector<std::string> drain(RecipientDispatcher& dispatcher, const std::string& modem) {
        std::vector<std::string> taken;
        while (std::optional<RecipientClaim> claim = dispatcher.claim(modem, day)) {
            taken.push_back(key(*claim));
            EXPECT_TRUE(dispatcher.done(*claim));
        }
        return taken;
    }
    static std::string key(const RecipientClaim& claim) {
        return std::to_string(claim.record) + "." + std::to_string(claim.position) + " " + claim.recipient;
    }
    std::string sent_counter() { return file_bytes(day + "/send/acc"); }

    VirtualClock clock;
};

// Four engines take the day's records at once: each recipient goes to exactly one of them, the records'
// order is kept per record, and send/acc ends on the last record. One record is a range wider than the
// window the dispatcher reads at a time.
TEST_F(Dispatcher, FourEnginesTakeEveryRecipientExactlyOnce) {
    queue("13900000001\r\n13900000002\r\n13900000003");
    queue("13500000000-13500000099\r\n139 0000 0009");
    queue("*13900000004");
    queue("13900000005\r\n13566668888-135666688\r\n*13900000006");
    RecipientDispatcher dispatcher({}, clock, 16);
    std::mutex mutex;
    std::map<std::string, int> times_taken;
    std::map<std::string, int> per_modem;
    std::vector<std::thread> engines;
    for (int m = 1; m <= 4; ++m) {
        engines.emplace_back([&, m] {
            std::string modem = "MODEM" + std::to_string(m);
            for (const std::string& k : drain(dispatcher, modem)) {
                std::lock_guard lock(mutex);
                ++times_taken[k];
                ++per_modem[modem];
            }
        });
    }
    for (std::thread& engine : engines) {
        engine.join();
    }
    EXPECT_EQ(times_taken.size(), 3u + 101u + 0u + 2u);
    for (const auto& [k, times] : times_taken) {
        EXPECT_EQ(times, 1) << k;
    }
    EXPECT_TRUE(times_taken.contains("2.100 13900000009"));
    EXPECT_TRUE(times_taken.contains("4.1 13566668888-135666688")); // a bad range is handed out to be reported
    EXPECT_EQ(sent_counter(), "4");
    EXPECT_EQ(file_bytes(day + "/send/pool"), "");
}

TEST_F(Dispatcher, ARecipientGivenBackGoesToTheNextModemThatAsks) {
    queue("13900000001\r\n13900000002");
    RecipientDispatcher dispatcher({}, clock);
    std::optional<RecipientClaim> lost = dispatcher.claim("MODEM1", day);
    ASSERT_TRUE(lost);
    dispatcher.give_back(*lost);
    dispatcher.modem_down("MODEM1");
    std::vector<std::string> others = drain(dispatcher, "MODEM2");
    EXPECT_EQ(others, (std::vector<std::string>{"1.0 13900000001", "1.1 13900000002"}));
    EXPECT_EQ(sent_counter(), "1");
}

// Numbers of a prefix go only through its modems (the longest prefix counts); the rest through any.
TEST_F(Dispatcher, RoutesKeepAPrefixToItsModems) {
    queue("13900000001\r\n13800000002\r\n13901000003\r\n+4470000004");
    std::vector<RouteRule> routes{{"139", {"MODEM2"}}, {"13901", {"MODEM3"}}, {"+44", {"MODEM2", "MODEM3"}}};
    RecipientDispatcher dispatcher(routes, clock);
    EXPECT_EQ(drain(dispatcher, "MODEM1"), (std::vector<std::string>{"1.1 13800000002"}));
    EXPECT_EQ(drain(dispatcher, "MODEM3"), (std::vector<std::string>{"1.2 13901000003", "1.3 +4470000004"}));
    EXPECT_EQ(sent_counter(), "");
    EXPECT_EQ(drain(dispatcher, "MODEM2"), (std::vector<std::string>{"1.0 13900000001"}));
    EXPECT_EQ(sent_counter(), "1");
}

// A gateway killed with recipients on their way: a new dispatcher reads send/acc, send/pos and
// send/pool, and hands out exactly the recipients that were not done, those on their way included.
TEST_F(Dispatcher, ARestartHandsOutOnlyWhatWasNotDone) {
    queue("13900000001");
    queue("13900000011\r\n13900000012\r\n13900000013\r\n13900000014");
    queue("13900000021\r\n13900000022");
    std::set<std::string> expected_again;
    {
        RecipientDispatcher dispatcher({}, clock);
        std::vector<RecipientClaim> claims;
        for (int i = 0; i < 6; ++i) {
            claims.push_back(*dispatcher.claim(i % 2 ? "MODEM2" : "MODEM1", day));
        }
        // Done out of order: 1.0, 2.1, 2.3, 3.0; on their way at the kill: 2.0, 2.2.
        for (int done : {0, 2, 4, 5}) {
            ASSERT_TRUE(dispatcher.done(claims[done]));
        }
        expected_again = {key(claims[1]), key(claims[3])};
    }
    EXPECT_EQ(sent_counter(), "1");
    RecipientDispatcher restarted({}, clock);
    std::vector<std::string> again = drain(restarted, "MODEM1");
    EXPECT_EQ(again, (std::vector<std::string>{"2.0 13900000011", "2.2 13900000013", "3.1 13900000022"}));
    EXPECT_TRUE(expected_again.contains(again[0]) && expected_again.contains(again[1]));
    EXPECT_EQ(sent_counter(), "3");
}

// The position one modem's engine left is where the pool goes on.
TEST_F(Dispatcher, ThePositionOfAOneModemRunIsTakenOver) {
    queue("13900000001\r\n13900000002\r\n13900000003");
    put_file(day + "/send/pos", "1 2");
    RecipientDispatcher dispatcher({}, clock);
    EXPECT_EQ(drain(dispatcher, "MODEM2"), (std::vector<std::string>{"1.2 13900000003"}));
    EXPECT_EQ(file_bytes(day + "/send/pos"), "1 3");
}

// An answer kept to the modem that received its query waits for it while it asks for work; once it is
// down, or silent for longer than the preference lasts, any modem takes it.
TEST_F(Dispatcher, AnAnswerWaitsForItsModemOnlyWhileThatModemIsUp) {
    queue("13900000001");
    queue("13900000002");
    RecipientDispatcher dispatcher({}, clock);
    EXPECT_FALSE(dispatcher.claim("MODEM3", day + "x")); // MODEM3 asks: it is up
    dispatcher.prefer(day, 1, "MODEM3");
    dispatcher.prefer(day, 2, "MODEM3");
    EXPECT_FALSE(dispatcher.claim("MODEM1", day));
    clock.sleep_ms(static_cast<int>(RecipientDispatcher::preference_ms) + 1);
    std::optional<RecipientClaim> late = dispatcher.claim("MODEM1", day);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->record, 1);
    EXPECT_FALSE(dispatcher.claim("MODEM3", day + "x")); // MODEM3 asks again
    EXPECT_FALSE(dispatcher.claim("MODEM1", day));       // MODEM3 asked again
    dispatcher.modem_down("MODEM3");
    std::optional<RecipientClaim> down = dispatcher.claim("MODEM1", day);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->record, 2);
}

TEST_F(Dispatcher, ProgressFileReadsBackAndPassesOverDamage) {
    PoolProgress progress;
    progress[3] = {2, {5, 9}};
    progress[4] = {0, {1}};
    ASSERT_TRUE(write_pool_progress(day, progress));
    EXPECT_EQ(file_bytes(day + "/send/pool"), "3 2 5 9\n4 0 1\n");
    put_file(day + "/send/pool", file_bytes(day + "/send/pool") + "x 1\n-2 1\n0 4\n7\n");
    PoolProgress read = read_pool_progress(day);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[3].prefix, 2);
    EXPECT_EQ(read[3].beyond, (std::set<long>{5, 9}));
    EXPECT_EQ(read[4].beyond, (std::set<long>{1}));
}

} // namespace
