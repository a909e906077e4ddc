#include "platform/gbk.h"
#include "store/content_size.h"
#include "queue/enqueue.h"
#include "support/hostile_input.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace {

class Enqueue : public TempDirTest {
protected:
    VirtualClock clock{{2004, 5, 6, 14, 5, 9}};
    const std::string day = "2004-5-6";
};

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

TEST_F(Enqueue, FirstMessageOfTheDayCreatesTheDayAndRecordOne) {
    EnqueueResult r = enqueue_message("13900000001", gbk("你好"), false, clock);
    ASSERT_EQ(r.status, EnqueueStatus::Queued);
    EXPECT_EQ(r.record, 1);
    EXPECT_EQ(r.day, day);
    for (const char* sub : {"new", "send", "recv", "qury"}) {
        EXPECT_TRUE(exists(day + "/" + sub));
    }
    EXPECT_EQ(file_bytes(day + "/new/acc"), "1");
    EXPECT_EQ(file_bytes(day + "/new/DA1"), gbk("你好"));
    EXPECT_EQ(file_bytes(day + "/new/H1"),
              "[HEAD]\r\ntime=2004-5-6 14:05:09\r\nsend= \r\n" + gbk("type=查询\r\nstat=未发\r\njrade=紧急\r\n"));
}

TEST_F(Enqueue, EnglishGetsTheKindByteAndThreeBlanks) {
    const std::string text(142, 'a');
    ASSERT_EQ(enqueue_message("139", text, true, clock).status, EnqueueStatus::Queued);
    std::string stored = file_bytes(day + "/new/DA1");
    EXPECT_EQ(stored.size(), 146u);
    EXPECT_EQ(stored, "\x02" + text + "   ");
}

struct RefusalCase {
    const char* name;
    std::string recipients;
    std::string content;
    bool english;
    EnqueueStatus status;
    const char* message_utf8;
};

class EnqueueRefusal : public Enqueue, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(EnqueueRefusal, WritesNothingButTheDayDirectories) {
    const RefusalCase& c = GetParam();
    EnqueueResult r = enqueue_message(c.recipients, c.content, c.english, clock);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(enqueue_status_text(r.status), gbk(c.message_utf8));
    EXPECT_TRUE(exists(day + "/qury"));
    EXPECT_TRUE(std::filesystem::is_empty(day + "/new"));
}

const RefusalCase refusals[] = {
    {"no_recipients", "", "x", false, EnqueueStatus::EmptyRecipients, "收信人不能为空！"},
    {"no_content", "139", "", true, EnqueueStatus::EmptyContent, "收信内容不能为空！"},
    {"empty_both_reports_recipients_first", "", "", false, EnqueueStatus::EmptyRecipients, "收信人不能为空！"},
    {"seventy_one_chinese", "139", repeat("\xc4\xe3", 71), false, EnqueueStatus::ContentTooLong, "收信内容不能太多！"},
    {"line_break_counts_two", "139", repeat("\xc4\xe3", 69) + "\r\n", false, EnqueueStatus::ContentTooLong,
     "收信内容不能太多！"},
};

INSTANTIATE_TEST_SUITE_P(Table, EnqueueRefusal, ::testing::ValuesIn(refusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Enqueue, SeventyChineseCharactersPass) {
    EXPECT_EQ(enqueue_message("139", repeat(gbk("你"), 70), false, clock).status, EnqueueStatus::Queued);
    EXPECT_EQ(enqueue_message("139", repeat(gbk("你"), 68) + "\r\n", false, clock).status, EnqueueStatus::Queued);
}

struct SizeCase {
    const char* name;
    std::string content; // GBK
    bool english;
    bool long_messages;
    int characters;
    int parts;
    bool queued;
};

class ContentLimit : public Enqueue, public ::testing::WithParamInterface<SizeCase> {};

// English used to be cut at 160 septets on the air without a word; now what does not fit is refused,
// and long messages take up to ten parts.
TEST_P(ContentLimit, WhatDoesNotFitIsRefusedAndNothingIsQueued) {
    const SizeCase& c = GetParam();
    ContentSize size = content_size(c.content, c.english);
    EXPECT_EQ(size.characters, c.characters);
    EXPECT_EQ(size.parts, c.parts);
    EnqueueResult result = enqueue_message("139", c.content, c.english, clock, c.long_messages);
    EXPECT_EQ(result.status, c.queued ? EnqueueStatus::Queued : EnqueueStatus::ContentTooLong);
    EXPECT_EQ(exists(day + "/new/acc"), c.queued);
}

const SizeCase sizes[] = {
    {"english_160", std::string(160, 'x'), true, false, 160, 1, true},
    {"english_161", std::string(161, 'x'), true, false, 161, 2, false},
    {"english_80_braces_are_160_septets", std::string(80, '{'), true, false, 160, 1, true},
    {"english_81_braces", std::string(81, '{'), true, false, 162, 2, false},
    {"english_escape_pair_not_split_between_parts", std::string(152, 'x') + "{" + std::string(10, 'x'), true, true, 164,
     2, true},
    {"english_306_two_parts", std::string(306, 'x'), true, true, 306, 2, true},
    {"english_307_three_parts", std::string(307, 'x'), true, true, 307, 3, true},
    {"english_1530_long", std::string(1530, 'x'), true, true, 1530, 10, true},
    {"english_1531_long", std::string(1531, 'x'), true, true, 1531, 11, false},
    {"chinese_71_long", repeat("\xc4\xe3", 71), false, true, 71, 2, true},
    {"chinese_134_two_parts", repeat("\xc4\xe3", 134), false, true, 134, 2, true},
    {"chinese_670_long", repeat("\xc4\xe3", 670), false, true, 670, 10, true},
    {"chinese_671_long", repeat("\xc4\xe3", 671), false, true, 671, 11, false},
};

INSTANTIATE_TEST_SUITE_P(Table, ContentLimit, ::testing::ValuesIn(sizes),
                         [](const auto& info) { return std::string(info.param.name); });

struct SemicolonCase {
    const char* name;
    const char* box;
    const char* stored; // on disk, text mode
};

class SemicolonRule : public Enqueue, public ::testing::WithParamInterface<SemicolonCase> {
protected:
    void SetUp() override {
        Enqueue::SetUp();
        make_hostile_directory(); // lists the category 客户
    }
};

TEST_P(SemicolonRule, StoresRecipientsAsTheBoxWouldGiveThem) {
    ASSERT_EQ(enqueue_message(GetParam().box, "x", false, clock).status, EnqueueStatus::Queued);
    EXPECT_EQ(file_bytes(day + "/new/R1"), GetParam().stored);
}

const SemicolonCase semicolons[] = {
    {"two_numbers_on_one_line", "139;138", "139\r\n138"},
    {"semicolon_before_line_break_stays", "139;\r\n138", "139;\r\r\n138"},
    {"trailing_semicolon_becomes_line_feed", "139;", "139\r\n"},
    {"range_stays_one_line", "13566668888-13566669999", "13566668888-13566669999"},
    {"semicolon_before_bare_line_feed", "139;\n138", "139\r\n\r\n138"},
    {"token_with_control_byte",
     "\xbf\xcd\xbb\xa7\x02"
     "a;",
     "\xbf\xcd\xbb\xa7\x02"
     "a\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, SemicolonRule, ::testing::ValuesIn(semicolons),
                         [](const auto& info) { return std::string(info.param.name); });

// Whoever wrote them, recipients that could lead the engine to any file, bad or huge ranges and control
// bytes in the text are refused before the lock is taken, and nothing is written.
class HostileInput : public Enqueue, public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override {
        Enqueue::SetUp();
        make_hostile_directory();
    }
};

TEST_P(HostileInput, IsRefusedAndNothingIsQueued) {
    const HostileCase& c = GetParam();
    EnqueueResult r = enqueue_message(hostile_box(c.to), gbk(c.text), false, clock, true);
    EXPECT_EQ(r.status, c.kind == "control"    ? EnqueueStatus::ControlCharacters
                        : c.kind == "too_many" ? EnqueueStatus::TooManyRecipients
                                               : EnqueueStatus::UnsafeRecipients);
    EXPECT_FALSE(enqueue_result_text(r).empty());
    EXPECT_TRUE(std::filesystem::is_empty(day + "/new"));
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(hostile_table().refused),
                         [](const auto& info) { return info.param.name; });

TEST_F(Enqueue, TheHostileTablesDirectoryTakesAGoodMessage) {
    make_hostile_directory();
    EnqueueResult r =
        enqueue_message(hostile_box(hostile_table().good_to), gbk(hostile_table().good_text), false, clock);
    EXPECT_EQ(r.status, EnqueueStatus::Queued) << gbk_to_utf8_lossy(enqueue_result_text(r));
}

TEST_F(Enqueue, RefusedRecipientsAreNamedAsTyped) {
    make_hostile_directory();
    EnqueueResult r = enqueue_message("139\r\n../fifo\x02x\r\n13900000009-13900000001", "x", false, clock);
    ASSERT_EQ(r.status, EnqueueStatus::UnsafeRecipients);
    EXPECT_EQ(r.refused, (std::vector<std::string>{"../fifo\x02x", "13900000009-13900000001"}));
}

TEST_F(Enqueue, LineBreaksAreTheOnlyControlCharactersATextMayHold) {
    EXPECT_EQ(enqueue_message("139", "a\r\nb\nc", false, clock).status, EnqueueStatus::Queued);
    EXPECT_EQ(enqueue_message("139", "a\rb", false, clock).status, EnqueueStatus::ControlCharacters);
    EXPECT_EQ(enqueue_message("139", "a\tb", false, clock).status, EnqueueStatus::ControlCharacters);
    EXPECT_EQ(enqueue_message("139", "ab\x7f", false, clock).status, EnqueueStatus::ControlCharacters);
}

TEST_F(Enqueue, TheCapCountsEveryNumberOfARange) {
    EXPECT_EQ(enqueue_message("13900000001-13900100000", "x", false, clock).status, EnqueueStatus::Queued);
    EXPECT_EQ(enqueue_message("13900000001-13900100000\r\n139", "x", false, clock).status,
              EnqueueStatus::TooManyRecipients);
}

TEST_F(Enqueue, TwoClicksQueueConsecutiveRecords) {
    EXPECT_EQ(enqueue_message("139", "x", false, clock).record, 1);
    EXPECT_EQ(enqueue_message("139", "x", false, clock).record, 2);
    EXPECT_EQ(file_bytes(day + "/new/acc"), "2");
}

TEST_F(Enqueue, BrokenCounterRestartsNumberingAtOne) {
    std::filesystem::create_directories(day + "/new");
    put_file(day + "/new/acc", "junk");
    EXPECT_EQ(enqueue_message("139", "x", false, clock).record, 1);
}

TEST_F(Enqueue, QueueThatCannotBeLockedIsRefusedWithTheLockFileAndReason) {
    // A directory in the lock file's place: no writer can lock the queue, so none may write to it.
    std::filesystem::create_directories(day + "/new/acc.lock");
    EnqueueResult r = enqueue_message("139", "x", false, clock);
    EXPECT_EQ(r.status, EnqueueStatus::LockFailed);
    EXPECT_EQ(r.record, -1);
    EXPECT_EQ(r.lock_error, EISDIR);
    EXPECT_EQ(enqueue_result_text(r), gbk("无法锁定发送队列（2004-5-6/new/acc.lock）：Is a directory"));
    EXPECT_EQ(enqueue_status_text(r.status), gbk("无法锁定发送队列！"));
    EXPECT_FALSE(exists(day + "/new/R1"));
    EXPECT_FALSE(exists(day + "/new/acc"));
}

TEST_F(Enqueue, ResultTextOfOtherStatusesIsTheStatusText) {
    EnqueueResult r = enqueue_message("", "x", false, clock);
    EXPECT_EQ(enqueue_result_text(r), gbk("收信人不能为空！"));
    r = enqueue_message("139", "x", false, clock);
    EXPECT_EQ(enqueue_result_text(r), "");
}

TEST(EnqueueHelpers, Ucs2HexIsFourUpperCaseDigitsPerUnit) {
    EXPECT_EQ(content_ucs2_hex(gbk("你好")), "4F60597D");
    EXPECT_EQ(content_ucs2_hex("a\r\n"), "0061000D000A");
}

} // namespace
