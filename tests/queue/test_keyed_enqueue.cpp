#include "platform/gbk.h"
#include "queue/digest.h"
#include "queue/idempotency_keys.h"
#include "queue/keyed_enqueue.h"
#include "store/spool.h"
#include "support/param_name.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class KeyedEnqueue : public TempDirTest {
protected:
    VirtualClock clock{{2026, 3, 1, 10, 0, 0}};
    const std::string day = "2026-3-1";

    static std::string message_hash(const std::string& to, const std::string& text) {
        return sha256_hex(to + '\0' + text).value();
    }

    // Queues `text` to `to` under `key` of `writer`, the way the writers do.
    KeyedResult send(const std::string& key, const std::string& to, const std::string& text,
                     const std::string& writer = "crm", const std::string& answer = "-") {
        return queue_with_key({writer, key, message_hash(to, text), answer}, clock, [&](const RecordShare& keep) {
            return enqueue_message(to, gbk(text), false, clock, false, keep);
        });
    }

    // As send, but the queue stops after the key was written and before the counter (a crash there, or
    // a shared queue that refused the rows).
    KeyedResult send_and_stop_before_counter(const std::string& key, const std::string& to, const std::string& text) {
        return queue_with_key({"crm", key, message_hash(to, text), "-"}, clock, [&](const RecordShare& keep) {
            RecordShare then_stop = [&](const std::string& d, long record, std::string& why) {
                keep(d, record, why);
                why = "stopped";
                return false;
            };
            return enqueue_message(to, gbk(text), false, clock, false, then_stop);
        });
    }

    long queued(const std::string& on_day) const { return read_counter(on_day, SpoolDir::New); }

    std::vector<KeyEntry> keys(const std::string& writer = "crm") const {
        return read_key_file(key_file_path(writer)).entries;
    }

    void advance_hours(int hours) { clock.set(local_time_of(seconds_of(clock.now()) + hours * 3600LL)); }
};

TEST_F(KeyedEnqueue, TheSameMessageAgainIsARepeatOfTheFirstRecord) {
    KeyedResult first = send("order-17", "13900000001", "明天开会", "crm", "2");
    ASSERT_EQ(first.status, KeyedStatus::Queued);
    EXPECT_EQ(first.result.record, 1);

    KeyedResult again = send("order-17", "13900000001", "明天开会");
    ASSERT_EQ(again.status, KeyedStatus::Repeat);
    EXPECT_EQ(again.result.day, day);
    EXPECT_EQ(again.result.record, 1);
    EXPECT_EQ(again.answer, "2");
    EXPECT_EQ(queued(day), 1);
}

TEST_F(KeyedEnqueue, AnotherMessageUnderAKeyIsRefusedAndOtherKeysAndWritersAreFree) {
    ASSERT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Queued);
    EXPECT_EQ(send("k", "13900000001", "二").status, KeyedStatus::OtherMessage);
    EXPECT_EQ(send("k", "13900000002", "一").status, KeyedStatus::OtherMessage);
    EXPECT_EQ(queued(day), 1);

    EXPECT_EQ(send("k2", "13900000001", "二").status, KeyedStatus::Queued);
    KeyedResult other_writer = send("k", "13900000001", "三", "erp");
    EXPECT_EQ(other_writer.status, KeyedStatus::Queued);
    EXPECT_EQ(other_writer.result.record, 3);
    EXPECT_EQ(queued(day), 3);
}

struct ExpiryCase {
    const char* name;
    int hours_later;
    KeyedStatus status;
};

class KeyExpiry : public KeyedEnqueue, public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(KeyExpiry, AKeyCountsFor48Hours) {
    ASSERT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Queued);
    advance_hours(GetParam().hours_later);
    KeyedResult later = send("k", "13900000001", "一");
    EXPECT_EQ(later.status, GetParam().status);
    if (later.status == KeyedStatus::Queued) {
        EXPECT_EQ(later.result.day, spool_date(clock.now()));
        EXPECT_EQ(keys().size(), 1u); // the old line gave way to the new one
    }
}

INSTANTIATE_TEST_SUITE_P(Table, KeyExpiry,
                         ::testing::Values(ExpiryCase{"hour_later", 1, KeyedStatus::Repeat},
                                           ExpiryCase{"47_hours_later", 47, KeyedStatus::Repeat},
                                           ExpiryCase{"48_hours_later", 48, KeyedStatus::Queued},
                                           ExpiryCase{"3_days_later", 72, KeyedStatus::Queued}),
                         CaseName());

TEST_F(KeyedEnqueue, AKeyWhoseRecordWasNeverWrittenIsStale) {
    // A key line written before a crash kept the record from being made: no record 1 exists.
    std::filesystem::create_directory(idempotency_dir);
    KeyEntry line{seconds_of(clock.now()), day, 1, message_hash("13900000001", "一"), std::string(64, 'a'), "-", "k"};
    put_file(key_file_path("crm"), key_line(line) + "\r\n");

    KeyedResult retry = send("k", "13900000001", "一");
    ASSERT_EQ(retry.status, KeyedStatus::Queued);
    EXPECT_EQ(retry.result.record, 1);
    EXPECT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Repeat);
    EXPECT_EQ(queued(day), 1);
}

TEST_F(KeyedEnqueue, ARecordNumberTakenAgainAfterAStopIsNotTheKeysMessage) {
    KeyedResult stopped = send_and_stop_before_counter("k", "13900000001", "一");
    EXPECT_EQ(stopped.status, KeyedStatus::NotQueued);
    ASSERT_EQ(keys().size(), 1u);
    EXPECT_EQ(keys()[0].record, 1);
    EXPECT_EQ(queued(day), 0);

    // Another message takes number 1; the key's message is then queued anew, as number 2.
    ASSERT_EQ(enqueue_message("13900000002", gbk("二"), false, clock).record, 1);
    KeyedResult retry = send("k", "13900000001", "一");
    ASSERT_EQ(retry.status, KeyedStatus::Queued);
    EXPECT_EQ(retry.result.record, 2);
    EXPECT_EQ(send("k", "13900000001", "一").result.record, 2);
    EXPECT_EQ(queued(day), 2);
}

TEST_F(KeyedEnqueue, ABarredRecordIsStillTheKeysMessage) {
    ASSERT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Queued);
    ASSERT_TRUE(bar_record(day, 1));
    EXPECT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Repeat);
    EXPECT_EQ(queued(day), 1);
}

TEST_F(KeyedEnqueue, AKeyThatCannotBeWrittenQueuesNothing) {
    KeyedResult result =
        queue_with_key({"crm", "k", message_hash("139", "x"), "-"}, clock, [&](const RecordShare& keep) {
            // The key file's name is taken by a folder once the keys were read: the replacement fails.
            std::filesystem::create_directories(key_file_path("crm") + "/in-the-way");
            return enqueue_message("13900000001", gbk("一"), false, clock, false, keep);
        });
    EXPECT_EQ(result.status, KeyedStatus::KeyStoreFailed);
    EXPECT_NE(result.error.find("cannot write idempotency/crm.txt"), std::string::npos) << result.error;
    EXPECT_EQ(queued(day), 0);
}

TEST_F(KeyedEnqueue, RefusedMessagesKeepNoKey) {
    EXPECT_EQ(send("k", "", "一").status, KeyedStatus::NotQueued);
    EXPECT_TRUE(keys().empty());
    EXPECT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Queued);
}

TEST_F(KeyedEnqueue, ExpiredLinesAreDroppedAndTheFileIsBounded) {
    std::filesystem::create_directory(idempotency_dir);
    std::string text;
    const long long now = seconds_of(clock.now());
    for (std::size_t i = 0; i < max_keys_per_writer; ++i) {
        // Half expired, half live.
        long long when = i % 2 ? now - idempotency_lifetime_seconds : now - 3600;
        KeyEntry entry{when, day, 5, std::string(64, 'b'), std::string(64, 'c'), "-", "old-" + std::to_string(i)};
        text += key_line(entry) + "\r\n";
    }
    put_file(key_file_path("crm"), text + "not a key line\r\n");
    ASSERT_EQ(send("k", "13900000001", "一").status, KeyedStatus::Queued);
    std::vector<KeyEntry> kept = keys();
    EXPECT_EQ(kept.size(), max_keys_per_writer / 2 + 1);
    EXPECT_EQ(file_bytes(key_file_path("crm")).find("not a key line"), std::string::npos);

    // Full of live keys: a new key is refused, and nothing is queued.
    text.clear();
    for (std::size_t i = 0; i < max_keys_per_writer; ++i) {
        KeyEntry entry{now, day, 5, std::string(64, 'b'), std::string(64, 'c'), "-", "live-" + std::to_string(i)};
        text += key_line(entry) + "\r\n";
    }
    put_file(key_file_path("crm"), text);
    KeyedResult full = send("k2", "13900000001", "二");
    EXPECT_EQ(full.status, KeyedStatus::KeyStoreFailed);
    EXPECT_NE(full.error.find("more than"), std::string::npos) << full.error;
    EXPECT_EQ(queued(day), 1);

    // A file larger than any the store writes is not read at all.
    put_file(key_file_path("crm"), std::string(max_key_file_bytes + 1, 'x'));
    EXPECT_EQ(send("k3", "13900000001", "三").status, KeyedStatus::KeyStoreFailed);
    EXPECT_EQ(queued(day), 1);
}

TEST_F(KeyedEnqueue, KeysAndWritersOutsideTheRulesAreRefused) {
    const std::string hash = message_hash("139", "x");
    struct Case {
        std::string writer;
        std::string key;
    } cases[] = {{"crm", ""},         {"crm", std::string(256, 'k')},
                 {"crm", "a\tb"},     {"crm", "a\nb"},
                 {"crm", "\xc4\xe3"}, {"../crm", "k"},
                 {".crm", "k"},       {"", "k"},
                 {"a/b", "k"},        {std::string(81, 'w'), "k"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.writer + " / " + c.key);
        bool queued_any = false;
        KeyedResult r = queue_with_key({c.writer, c.key, hash, "-"}, clock, [&](const RecordShare&) {
            queued_any = true;
            return EnqueueResult{};
        });
        EXPECT_EQ(r.status, KeyedStatus::BadKey);
        EXPECT_FALSE(queued_any);
    }
    EXPECT_FALSE(std::filesystem::exists("crm.txt"));
    EXPECT_EQ(send(std::string(255, 'k') + "", "13900000001", "一").status, KeyedStatus::Queued);
    EXPECT_EQ(send(" a key with blanks ", "13900000001", "一").status, KeyedStatus::Queued);
    EXPECT_EQ(send(" a key with blanks ", "13900000001", "一").status, KeyedStatus::Repeat);
}

TEST_F(KeyedEnqueue, WritersRacingWithOneKeyQueueOnce) {
    for (bool same_message : {true, false}) {
        SCOPED_TRACE(same_message ? "same message" : "other messages");
        const std::string key = same_message ? "race-same" : "race-other";
        std::mutex mutex;
        std::vector<KeyedResult> results;
        std::vector<std::thread> writers;
        for (int i = 0; i < 8; ++i) {
            writers.emplace_back([&, i] {
                KeyedResult r = send(key, "13900000001", same_message ? "一" : "第" + std::to_string(i));
                std::lock_guard<std::mutex> hold(mutex);
                results.push_back(r);
            });
        }
        for (std::thread& t : writers) {
            t.join();
        }
        int queued_now = 0;
        for (const KeyedResult& r : results) {
            queued_now += r.status == KeyedStatus::Queued;
            EXPECT_EQ(r.status == KeyedStatus::Queued ||
                          r.status == (same_message ? KeyedStatus::Repeat : KeyedStatus::OtherMessage),
                      true);
        }
        EXPECT_EQ(queued_now, 1);
    }
    EXPECT_EQ(queued(day), 2);
}

} // namespace
