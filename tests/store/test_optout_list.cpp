#include "platform/file_lock.h"
#include "platform/gbk.h"
#include "store/optout_list.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class OptOutListFile : public TempDirTest {};

TEST_F(OptOutListFile, NoFileIsAnEmptyListAndTheFirstAddWritesOneCanonicalLine) {
    std::optional<OptOutList> none = read_optout_list();
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->entries.empty());
    EXPECT_FALSE(exists(optout_path));

    EXPECT_EQ(add_optout("13900000001", "2026-5-6", gbk("退订")), OptOutChange::Done);
    EXPECT_EQ(add_optout("+447700900123", "2026-5-7", ""), OptOutChange::Done);
    EXPECT_EQ(file_bytes(optout_path),
              "+8613900000001 2026-5-6 " + gbk("退订") + "\r\n+447700900123 2026-5-7 manual\r\n");

    std::optional<OptOutList> list = read_optout_list();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    EXPECT_EQ(list->entries[0].number, "+8613900000001");
    EXPECT_EQ(list->entries[0].day, "2026-5-6");
    EXPECT_EQ(list->entries[0].keyword, gbk("退订"));
    EXPECT_EQ(list->entries[1].keyword, "manual");
}

TEST_F(OptOutListFile, EverySpellingOfANumberIsOneEntry) {
    ASSERT_EQ(add_optout("8613900000001", "2026-5-6", "TD"), OptOutChange::Done);
    const std::string written = file_bytes(optout_path);
    for (const char* spelling : {"13900000001", "+8613900000001", "8613900000001"}) {
        EXPECT_EQ(add_optout(spelling, "2026-5-8", "STOP"), OptOutChange::AlreadyThere) << spelling;
    }
    EXPECT_EQ(file_bytes(optout_path), written);

    std::optional<OptOutList> list = read_optout_list();
    ASSERT_TRUE(list);
    for (const char* spelling : {"13900000001", "+8613900000001", "8613900000001"}) {
        EXPECT_TRUE(list->holds(spelling, "86")) << spelling;
    }
    EXPECT_FALSE(list->holds("13900000002", "86"));
    EXPECT_FALSE(list->holds("not a number", "86"));
    // The same national digits in another country are another number.
    EXPECT_FALSE(list->holds("13900000001", "44"));

    EXPECT_EQ(remove_optout("+8613900000001"), OptOutChange::Done);
    EXPECT_EQ(remove_optout("13900000001"), OptOutChange::NotThere);
    EXPECT_EQ(file_bytes(optout_path), "");
}

TEST_F(OptOutListFile, NationalNumbersBelongToTheConfiguredCountry) {
    put_file("server.txt", "[SET]\r\nCOUNTRY=44\r\n");
    ASSERT_EQ(add_optout("7700900123", "2026-5-6", "STOP"), OptOutChange::Done);
    EXPECT_EQ(file_bytes(optout_path), "+447700900123 2026-5-6 STOP\r\n");
}

TEST_F(OptOutListFile, AHandEditedFileIsReadLineByLine) {
    const std::string lines = "+8613900000001 2026-5-6 TD\r\n"
                              "\r\n"
                              "13900000002\r\n"                  // a number alone: on the list
                              "hello world\r\n"                  // unreadable: skipped and counted
                              "+8613900000001 2026-5-9 STOP\r\n" // the same number again: one entry
                              "  8613900000003   2026-5-6   ";
    put_file(optout_path, lines + gbk("取消") + " \n");
    std::optional<OptOutList> list = read_optout_list();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->skipped, 1u);
    ASSERT_EQ(list->entries.size(), 3u);
    EXPECT_EQ(list->entries[0].keyword, "TD");
    EXPECT_EQ(list->entries[1].number, "+8613900000002");
    EXPECT_EQ(list->entries[1].keyword, "manual");
    EXPECT_EQ(list->entries[2].number, "+8613900000003");
    EXPECT_EQ(list->entries[2].keyword, gbk("取消"));
}

TEST_F(OptOutListFile, ChangesKeepTheLinesTheyDoNotConcern) {
    put_file(optout_path, "+8613900000001 2026-5-6 TD\r\nhello world\r\n13900000002\r\n");
    ASSERT_EQ(remove_optout("13900000002"), OptOutChange::Done);
    ASSERT_EQ(add_optout("13900000004", "2026-5-7", "TD"), OptOutChange::Done);
    EXPECT_EQ(file_bytes(optout_path), "+8613900000001 2026-5-6 TD\r\nhello world\r\n+8613900000004 2026-5-7 TD\r\n");
}

TEST_F(OptOutListFile, ReceivedTextCannotBreakALine) {
    // A keyword is what a stranger sent: line breaks and controls go, and it is cut at a whole character.
    std::string long_keyword;
    for (int i = 0; i < 40; ++i) {
        long_keyword += gbk("退");
    }
    ASSERT_EQ(add_optout("13900000001", "2026-5-6\r\n+8613900000009", "T\r\nD"), OptOutChange::Done);
    ASSERT_EQ(add_optout("13900000002", "2026-5-6", "x" + long_keyword), OptOutChange::Done);
    std::optional<OptOutList> list = read_optout_list();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    EXPECT_EQ(list->skipped, 0u);
    EXPECT_FALSE(list->holds("+8613900000009", "86"));
    EXPECT_EQ(list->entries[0].keyword, "TD");
    EXPECT_EQ(list->entries[1].keyword, "x" + long_keyword.substr(0, 30));
}

TEST_F(OptOutListFile, WhatIsNoNumberIsRefusedWithoutTouchingTheFile) {
    for (const char* text : {"", "abc", "1390000000a", "+", "+1234567890123456", "1-3"}) {
        EXPECT_EQ(add_optout(text, "2026-5-6", "TD"), OptOutChange::NotANumber) << text;
        EXPECT_EQ(remove_optout(text), OptOutChange::NotANumber) << text;
    }
    EXPECT_FALSE(exists(optout_path));
}

TEST_F(OptOutListFile, AnUnreadableListIsNeitherTakenForEmptyNorOverwritten) {
    const std::string binary = std::string("+8613900000001 2026-5-6 TD\r\n\0\0", 30);
    put_file(optout_path, binary);
    EXPECT_FALSE(read_optout_list());
    errno = 0;
    EXPECT_EQ(add_optout("13900000002", "2026-5-6", "TD"), OptOutChange::Failed);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(remove_optout("13900000001"), OptOutChange::Failed);
    EXPECT_EQ(file_bytes(optout_path), binary);

    ASSERT_EQ(::unlink(optout_path), 0);
    ASSERT_EQ(::mkdir(optout_path, 0700), 0);
    EXPECT_FALSE(read_optout_list());
    EXPECT_EQ(add_optout("13900000002", "2026-5-6", "TD"), OptOutChange::Failed);
}

TEST_F(OptOutListFile, AHeldLockFailsAChangeAfterItsWait) {
    FileLock held(optout_lock_path);
    ASSERT_TRUE(held.locked());
    errno = 0;
    EXPECT_EQ(add_optout("13900000001", "2026-5-6", "TD", 100), OptOutChange::Failed);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(remove_optout("13900000001", 0), OptOutChange::Failed);
    EXPECT_FALSE(exists(optout_path));
}

// Processes that add at once (the engine, the window, vmsms-optout, the intake) lose no line.
TEST_F(OptOutListFile, ConcurrentAddsFromManyProcessesLoseNothing) {
    constexpr int writers = 4, each = 50;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < each; ++i) {
                std::string number = "1390000" + std::to_string(1000 + w * 100 + i);
                if (add_optout(number, "2026-5-6", "TD") != OptOutChange::Done) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::optional<OptOutList> list = read_optout_list();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->entries.size(), static_cast<std::size_t>(writers * each));
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < each; ++i) {
            EXPECT_TRUE(list->holds("1390000" + std::to_string(1000 + w * 100 + i), "86"));
        }
    }
}

} // namespace
