#include "store/received_keys.h"
#include "store/spool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

namespace {

const std::string day = "2026-12-11";
const std::string key_a = "81"
                          "3109000000F1/62211170000023/05E8329BFD06";
const std::string key_b = "81"
                          "3109000000F2/62211170000023/05E8329BFD06";

class ReceivedKeyStore : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ensure_day_dirs(day);
    }
    // Stores a record as the engine does after noting its key: the files, the counter last.
    void store_record(const std::string& text) {
        ASSERT_GT(store_incoming_record(day, "13900000001", text, day + " 7:00:00"), 0);
    }
    bool known(const std::string& key) { return record_key_known(day, read_received_keys(day), key); }
};

TEST_F(ReceivedKeyStore, AKeyCountsOnceItsRecordIsStoredAndOthersStayUnknown) {
    EXPECT_FALSE(known(key_a)); // no file at all
    ASSERT_EQ(note_record_key(day, 1, key_a), KeyNoted::Noted);
    EXPECT_FALSE(known(key_a)) << "noted, but its record was never written";
    store_record("hello");
    EXPECT_TRUE(known(key_a));
    EXPECT_FALSE(known(key_b));
    // The record files stay as they were; the keys live beside them.
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "hello");
    EXPECT_EQ(file_bytes(received_keys_path(day)), "\r\nR1 " + key_a + "\r\n");
}

// A crash after the key line and before the record leaves a stale line: the next message takes that
// number, and only its own key counts for it.
TEST_F(ReceivedKeyStore, AStaleKeyIsReplacedWhenItsNumberIsUsedAgain) {
    ASSERT_EQ(note_record_key(day, 1, key_a), KeyNoted::Noted); // crash: record 1 never written
    ASSERT_EQ(note_record_key(day, 1, key_b), KeyNoted::Noted);
    store_record("the other message");
    EXPECT_TRUE(known(key_b));
    EXPECT_FALSE(known(key_a));
}

// A message put together from parts notes one line per part for its record: all of them count.
TEST_F(ReceivedKeyStore, EveryKeyNotedForARecordCounts) {
    ASSERT_EQ(note_record_keys(day, 1, {key_a, key_b}), KeyNoted::Noted);
    store_record("two parts");
    EXPECT_TRUE(known(key_a));
    EXPECT_TRUE(known(key_b));
    EXPECT_EQ(note_record_keys(day, 2, {}), KeyNoted::NotWritten);
    EXPECT_EQ(note_record_keys(day, 2, std::vector<std::string>(most_keys_per_record + 1, key_a)),
              KeyNoted::NotWritten);
}

TEST_F(ReceivedKeyStore, PartKeysAreReadBackByName) {
    ASSERT_EQ(note_part_key(day, "3133_7_2_1", key_a), KeyNoted::Noted);
    ReceivedKeys keys = read_received_keys(day);
    ASSERT_EQ(keys.parts.count("3133_7_2_1"), 1u);
    EXPECT_EQ(keys.parts.at("3133_7_2_1"), key_a);
    EXPECT_TRUE(keys.records.empty());
}

TEST_F(ReceivedKeyStore, DamagedAndCutLinesArePassedOver) {
    store_record("x");
    store_record("y");
    put_file(received_keys_path(day), "garbage\r\nR0 " + key_a + "\r\nRx1 " + key_a + "\r\n\x01\x02 " + key_a +
                                          "\r\nR2 " + key_b); // the last line has no end: a crash cut it
    ReceivedKeys keys = read_received_keys(day);
    EXPECT_TRUE(keys.records.empty());
    EXPECT_TRUE(keys.parts.empty());
    EXPECT_FALSE(known(key_b));
    // A line appended after the cut one still reads.
    ASSERT_EQ(note_record_key(day, 2, key_b), KeyNoted::Noted);
    EXPECT_TRUE(known(key_b));
}

TEST_F(ReceivedKeyStore, NoKeysAreNotedPastTheBoundAndHostileKeysNever) {
    EXPECT_EQ(note_record_key(day, 1, ""), KeyNoted::NotWritten);
    EXPECT_EQ(note_record_key(day, 1, "with blank"), KeyNoted::NotWritten);
    EXPECT_EQ(note_record_key(day, 1, std::string(longest_received_key + 1, 'A')), KeyNoted::NotWritten);
    EXPECT_EQ(note_record_key(day, 0, key_a), KeyNoted::NotWritten);
    EXPECT_FALSE(exists(received_keys_path(day)));

    put_file(received_keys_path(day), std::string(most_received_key_bytes, '\n'));
    EXPECT_EQ(note_record_key(day, 1, key_a), KeyNoted::Full);
    EXPECT_EQ(std::filesystem::file_size(received_keys_path(day)), most_received_key_bytes);
}

TEST_F(ReceivedKeyStore, AKeyThatCannotBeWrittenSaysSo) {
    std::filesystem::remove_all(day + "/recv");
    EXPECT_EQ(note_record_key(day, 1, key_a), KeyNoted::NotWritten);
    std::filesystem::create_directories(received_keys_path(day)); // a directory where the file goes
    EXPECT_EQ(note_record_key(day, 1, key_a), KeyNoted::NotWritten);
}

// Two engines of a pool storing at once: each record's key names that record's own number, because the
// number is taken, the key noted and the record stored under one lock; a refused note stores nothing.
TEST_F(ReceivedKeyStore, EnginesStoringAtOnceNoteEachKeyForItsOwnRecord) {
    constexpr int per_thread = 40;
    auto receive = [](char who) {
        for (int i = 0; i < per_thread; ++i) {
            std::string text = std::string(1, who) + std::to_string(i);
            std::string key = "81" + std::string("3109000000F1/62211170000023/") + text;
            RecordNumberNote note = [&](long record) { return note_record_key(day, record, key) == KeyNoted::Noted; };
            EXPECT_GT(store_incoming_record(day, "13900000001", text, day + " 7:00:00", note), 0);
        }
    };
    std::thread a(receive, 'A');
    std::thread b(receive, 'B');
    a.join();
    b.join();

    ASSERT_EQ(read_counter(day, SpoolDir::Recv), 2 * per_thread);
    ReceivedKeys keys = read_received_keys(day);
    ASSERT_EQ(keys.records.size(), 2u * per_thread);
    for (long n = 1; n <= 2 * per_thread; ++n) {
        std::string text = read_record(day, SpoolDir::Recv, n).content.value_or("");
        ASSERT_EQ(keys.records[n], std::set<std::string>{"813109000000F1/62211170000023/" + text}) << "record " << n;
    }

    RecordNumberNote refused = [](long) { return false; };
    EXPECT_EQ(store_incoming_record(day, "13900000001", "no", day + " 7:00:00", refused), record_note_refused);
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 2 * per_thread);
    EXPECT_FALSE(exists(spool_path(day, SpoolDir::Recv, "DA", 2 * per_thread + 1)));
}

} // namespace
