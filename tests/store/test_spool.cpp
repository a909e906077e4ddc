#include "platform/gbk.h"
#include "store/spool.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

const std::string day = "2004-5-6";

class Spool : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ensure_day_dirs(day);
    }
    VirtualClock clock;
};

TEST_F(Spool, DayDirectoriesAreCreatedAndAnExistingOneIsNoError) {
    for (const char* sub : {"new", "send", "recv", "qury"}) {
        EXPECT_TRUE(exists(day + "/" + sub)) << sub;
    }
    put_file(day + "/new/acc", "3");
    ensure_day_dirs(day);
    EXPECT_EQ(file_bytes(day + "/new/acc"), "3");
}

struct CounterCase {
    const char* name;
    const char* bytes; // nullptr: no file
    long engine_value;
};

class CounterRead : public Spool, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(CounterRead, MissingOrBelowOneIsZero) {
    if (GetParam().bytes) {
        put_file(day + "/new/acc", GetParam().bytes);
    }
    EXPECT_EQ(read_counter(day, SpoolDir::New), GetParam().engine_value);
}

const CounterCase counter_cases[] = {
    {"missing", nullptr, 0},
    {"plain", "5", 5},
    {"with_line_end", "12\r\n", 12},
    {"empty", "", 0},
    {"negative", "-4", 0},
    {"not_a_number", "abc", 0},
    {"nine_characters", "123456789", 123456789},
    {"tenth_character_ignored", "1234567891", 123456789},
    {"leading_blanks", "  7", 7},
};

INSTANTIATE_TEST_SUITE_P(Table, CounterRead, ::testing::ValuesIn(counter_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Spool, CounterIsWrittenAsBareDecimal) {
    ASSERT_TRUE(write_counter(day, SpoolDir::Send, 42));
    EXPECT_EQ(file_bytes(day + "/send/acc"), "42");
    EXPECT_EQ(read_counter_text(day + "/send/acc", 8).value(), 42);
    EXPECT_FALSE(read_counter_text(day + "/recv/acc", 8));
}

TEST_F(Spool, FirstQueuedRecordIsNumberOneWithExactFiles) {
    long n = queue_outgoing_record(day, "13900000001", "2004-5-6 14:05:09", "hello", clock);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(file_bytes(day + "/new/R1"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/new/H1"),
              "[HEAD]\r\ntime=2004-5-6 14:05:09\r\nsend= \r\n" + gbk("type=查询\r\nstat=未发\r\njrade=紧急\r\n"));
    EXPECT_EQ(file_bytes(day + "/new/DA1"), "hello");
    EXPECT_EQ(file_bytes(day + "/new/acc"), "1");
}

TEST_F(Spool, NumbersFollowTheQueuedCounter) {
    put_file(day + "/new/acc", "5");
    EXPECT_EQ(queue_outgoing_record(day, "1", "t", "x", clock), 6);
    EXPECT_EQ(queue_outgoing_record(day, "1", "t", "x", clock), 7);
    EXPECT_EQ(file_bytes(day + "/new/acc"), "7");
}

TEST_F(Spool, RecipientTextKeepsTheBoxLineBreaksAsCrCrLf) {
    ASSERT_EQ(queue_outgoing_record(day, "139;\r\n138\n137", "t", "x", clock), 1);
    EXPECT_EQ(file_bytes(day + "/new/R1"), "139;\r\r\n138\r\n137");
    EXPECT_EQ(read_record(day, SpoolDir::New, 1).recipients.value(), "139;\r\n138\n137");
}

TEST_F(Spool, FailedRecordFileDoesNotRaiseTheCounter) {
    // R1 cannot be created because a directory stands in its place: one retry after 10 ms, then give up.
    std::filesystem::create_directory(day + "/new/R1");
    EXPECT_EQ(queue_outgoing_record(day, "139", "t", "x", clock), -1);
    EXPECT_EQ(clock.sleeps(), std::vector<int>{10});
    EXPECT_FALSE(exists(day + "/new/acc"));
    EXPECT_FALSE(exists(day + "/new/H1"));
}

TEST_F(Spool, IncomingRecordIsStoredWithItsFiveHeaderLines) {
    put_file(day + "/recv/acc", "2");
    ASSERT_EQ(store_incoming_record(day, "13900000001", gbk("你好"), "2004-5-6 7:01:05"), 3);
    EXPECT_EQ(file_bytes(day + "/recv/R3"), "13900000001");
    EXPECT_EQ(file_bytes(day + "/recv/DA3"), gbk("你好"));
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "3");
    EXPECT_EQ(file_bytes(day + "/recv/H3"), "[HEAD]\r\ntime=2004-5-6 7:01:05\r\nsend= \r\nstat= \r\njrade= \r\n");
}

TEST_F(Spool, ReadRecordGivesEachFileOrNothing) {
    queue_outgoing_record(day, "139", "2004-5-6 7:01:05", "abc\ndef", clock);
    std::filesystem::remove(day + "/new/DA1");
    RecordTexts r = read_record(day, SpoolDir::New, 1);
    EXPECT_EQ(r.recipients.value(), "139");
    EXPECT_FALSE(r.content);
    EXPECT_TRUE(r.header);
    EXPECT_EQ(read_record_time(day, SpoolDir::New, 1).value(), "2004-5-6 7:01:05");
    EXPECT_FALSE(read_record_time(day, SpoolDir::New, 2));
}

TEST_F(Spool, RecordTimeIsReadWithRoomForNineteenCharacters) {
    queue_outgoing_record(day, "139", "2026-12-31 23:59:59x", "a", clock);
    EXPECT_EQ(read_record_time(day, SpoolDir::New, 1).value(), "2026-12-31 23:59:59");
}

TEST_F(Spool, RewriteAndBarReplaceOneFileEach) {
    queue_outgoing_record(day, "139\r\n138", "t", "old", clock);
    ASSERT_TRUE(rewrite_content(day, 1, "new text"));
    EXPECT_EQ(file_bytes(day + "/new/DA1"), "new text");
    ASSERT_TRUE(bar_record(day, 1));
    EXPECT_EQ(file_bytes(day + "/new/R1"), "*139\r\r\n138");
    ASSERT_TRUE(rewrite_recipients(day, 1, "137"));
    EXPECT_EQ(file_bytes(day + "/new/R1"), "137");
    EXPECT_FALSE(bar_record(day, 9)); // no such record: nothing is created
    EXPECT_FALSE(exists(day + "/new/R9"));
}

TEST_F(Spool, ThreadsQueueingAtOnceNeverShareANumber) {
    constexpr int threads = 4, each = 50;
    std::vector<std::thread> pool;
    std::vector<std::vector<long>> got(threads);
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int i = 0; i < each; ++i) {
                got[t].push_back(queue_outgoing_record(day, "t" + std::to_string(t), "x", "c", real_clock()));
            }
        });
    }
    for (auto& th : pool) {
        th.join();
    }
    std::set<long> numbers;
    for (const auto& v : got) {
        numbers.insert(v.begin(), v.end());
    }
    EXPECT_EQ(numbers.size(), static_cast<size_t>(threads * each));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), threads * each);
    EXPECT_EQ(file_bytes(day + "/new/acc"), std::to_string(threads * each));
}

} // namespace
