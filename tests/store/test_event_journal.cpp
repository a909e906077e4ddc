// The event journal: what is written is read back whole and in order, across days and restarts; an id
// is journaled once; a line the writer did not finish is never read, and the next event is not glued
// to it.
#include "store/event_journal.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class EventJournal : public TempDirTest {
protected:
    static JournalEvent sent(long record, int index, std::string text = "hello") {
        JournalEvent e;
        e.kind = "sent";
        e.day = "2026-12-11";
        e.record = record;
        e.index = index;
        e.number = "13900000001";
        e.text = std::move(text);
        e.id = journal_event_id(e.kind, e.day, record, index);
        return e;
    }
    static std::vector<JournalEvent> all(JournalPosition at = {}) { return JournalReader().read(at, 1000); }
    LocalTime day1{2026, 12, 11, 9, 0, 0};
    LocalTime day2{2026, 12, 12, 0, 0, 1};
};

TEST_F(EventJournal, FieldsComeBackByteForByteWhateverTheTextHolds) {
    // GBK whose second byte is a backslash, tabs, line ends, an empty text.
    const std::vector<std::string> texts = {"\xd5\x5c\xb0\xa1 a\\b", "tab\there", "two\r\nlines\n", ""};
    JournalWriter writer;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        JournalEvent e = sent(5, static_cast<int>(i), texts[i]);
        e.detail = "+CMS ERROR: 500\t";
        ASSERT_TRUE(writer.append(e, day1).ok);
    }
    std::vector<JournalEvent> read = all();
    ASSERT_EQ(read.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(read[i].text, texts[i]);
        EXPECT_EQ(read[i].seq, static_cast<long long>(i + 1));
        EXPECT_EQ(read[i].id, "2026-12-11-sent-5-" + std::to_string(i));
        EXPECT_EQ(read[i].detail, "+CMS ERROR: 500\t");
        EXPECT_EQ(read[i].time, "2026-12-11 09:00:00");
        EXPECT_EQ(read[i].number, "13900000001");
    }
}

TEST_F(EventJournal, SeqGoesOnAcrossRestartsAndDaysAndAnIdIsJournaledOnce) {
    {
        JournalWriter writer;
        JournalEvent a = sent(1, 1);
        ASSERT_TRUE(writer.append(a, day1).ok);
        JournalEvent again = sent(1, 1);
        JournalWriter::Appended repeat = writer.append(again, day1);
        EXPECT_TRUE(repeat.ok && repeat.repeat);
    }
    JournalWriter writer; // a restart
    JournalEvent again = sent(1, 1);
    EXPECT_TRUE(writer.append(again, day2).repeat); // yesterday's file still counts
    JournalEvent b = sent(1, 2);
    ASSERT_TRUE(writer.append(b, day2).ok);
    EXPECT_EQ(b.seq, 2);
    JournalEvent state;
    state.kind = "state";
    state.detail = "running";
    ASSERT_TRUE(writer.append(state, day2).ok);
    EXPECT_EQ(state.id, "2026-12-12-state-s3"); // named by its place

    std::vector<JournalEvent> read = all();
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].id, "2026-12-11-sent-1-1");
    EXPECT_EQ(read[2].detail, "running");
    EXPECT_EQ(journal_files(journal_dir), (std::vector<std::string>{"20261211.txt", "20261212.txt"}));
}

TEST_F(EventJournal, ReadersFindTheirPlaceBySeqOrIdAndGoOnFromIt) {
    JournalWriter writer;
    for (int i = 1; i <= 3; ++i) {
        JournalEvent e = sent(1, i);
        ASSERT_TRUE(writer.append(e, i < 3 ? day1 : day2).ok);
    }
    JournalReader reader;
    JournalPosition at = reader.after_seq(1);
    std::vector<JournalEvent> rest = reader.read(at, 10);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].seq, 2);
    EXPECT_EQ(rest[1].seq, 3); // on into the next day's file
    EXPECT_TRUE(reader.read(at, 10).empty());
    JournalEvent later = sent(2, 1);
    ASSERT_TRUE(writer.append(later, day2).ok);
    ASSERT_EQ(reader.read(at, 10).size(), 1u); // a follower sees what came since

    std::optional<JournalPosition> by_id = reader.after_id("2026-12-11-sent-1-2");
    ASSERT_TRUE(by_id);
    EXPECT_EQ(by_id->seq, 2);
    EXPECT_EQ(reader.read(*by_id, 10).front().seq, 3);
    EXPECT_FALSE(reader.after_id("2026-12-11-sent-9-9"));
    EXPECT_EQ(reader.end().seq, 4);
    EXPECT_EQ(reader.after_seq(0).seq, 0);
}

TEST_F(EventJournal, AnUnfinishedLineIsNeverReadAndTheNextEventBeginsALineOfItsOwn) {
    {
        JournalWriter writer;
        JournalEvent a = sent(1, 1);
        ASSERT_TRUE(writer.append(a, day1).ok);
    }
    // The writer was killed in the middle of a line.
    std::ofstream(std::string(journal_dir) + "/20261211.txt", std::ios::app) << "2\t2026-12-11-sent-1-2\tsent\t2026";
    ASSERT_EQ(all().size(), 1u);
    JournalWriter writer;
    JournalEvent b = sent(1, 2);
    ASSERT_TRUE(writer.append(b, day1).ok);
    EXPECT_FALSE(b.seq == 0);
    std::vector<JournalEvent> read = all();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].id, "2026-12-11-sent-1-2");
    EXPECT_EQ(read[1].seq, 2);
}

TEST_F(EventJournal, DaysPastTheKeepingAreRemovedAsANewDayBegins) {
    std::filesystem::create_directory(journal_dir);
    JournalEvent old = sent(1, 1);
    old.seq = 1;
    std::ofstream(std::string(journal_dir) + "/20261101.txt") << journal_line(old);
    std::ofstream(std::string(journal_dir) + "/20261208.txt") << "";
    JournalWriter writer(journal_dir, 7);
    JournalEvent e = sent(2, 1);
    ASSERT_TRUE(writer.append(e, day1).ok);
    EXPECT_EQ(e.seq, 2); // the seq went on from the old file before it was removed
    EXPECT_EQ(journal_files(journal_dir), (std::vector<std::string>{"20261208.txt", "20261211.txt"}));
}

TEST_F(EventJournal, TwoWritersOfOneJournalKeepSeqsUniqueAndAnIdOnce) {
    // The engines of two modems, each with its own writer.
    JournalWriter first;
    JournalWriter second;
    for (int i = 1; i <= 3; ++i) {
        JournalEvent a = sent(1, i);
        ASSERT_TRUE(first.append(a, day1).ok);
        JournalEvent b = sent(2, i);
        ASSERT_TRUE(second.append(b, day1).ok);
    }
    JournalEvent again = sent(1, 2); // the first writer's event, come to by the second
    EXPECT_TRUE(second.append(again, day1).repeat);
    std::vector<JournalEvent> read = all();
    ASSERT_EQ(read.size(), 6u);
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].seq, static_cast<long long>(i + 1));
    }
}

TEST_F(EventJournal, LinesThatAreNotEventsAreSkipped) {
    for (const char* line : {"", "x\ty", "1\tid\tsent\tt\td\tR\t0\t1\tn\t\t", "1\tid\tsent\tt\td\t1\t0\t1\tn\t\t\\q",
                             "1\t\tsent\tt\td\t1\t0\t1\tn\t\t"}) {
        EXPECT_FALSE(parse_journal_line(line)) << line;
    }
    EXPECT_TRUE(parse_journal_line("1\tid\tsent\tt\td\t1\t0\t1\tn\t\t"));
}

} // namespace
