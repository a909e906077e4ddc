#include "platform/gbk.h"
#include "store/spool.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <future>
#include <grp.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string day = "2004-5-6";

// Runs `body` in a child process and gives its exit status (-1 when it did not exit normally): for
// tests that change what the process may do.
int run_in_child(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names of temporary files left in a directory by an unfinished replacement.
std::vector<std::string> temporary_files(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::string name = e.path().filename().string();
        if (name.find(".tmp") != std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

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

struct BlockedFileCase {
    const char* name;
    const char* blocked;     // the file a directory stands in place of, so it cannot be written
    std::vector<int> sleeps; // the waits before giving up
};

void PrintTo(const BlockedFileCase& c, std::ostream* os) {
    *os << c.name;
}

class BlockedOutgoingFile : public Spool, public ::testing::WithParamInterface<BlockedFileCase> {};

TEST_P(BlockedOutgoingFile, FailsWithoutRaisingTheCounter) {
    const std::string dir = day + "/new/";
    std::filesystem::create_directory(dir + GetParam().blocked);
    EXPECT_EQ(queue_outgoing_record(day, "139", "t", "x", clock), record_not_written);
    EXPECT_EQ(clock.sleeps(), GetParam().sleeps);
    EXPECT_EQ(read_counter(day, SpoolDir::New), 0);
    EXPECT_TRUE(temporary_files(dir).empty());
}

const BlockedFileCase blocked_outgoing[] = {
    {"recipients_after_one_retry", "R1", {10}},
    {"header", "H1", {}},
    {"content", "DA1", {}},
    {"counter", "acc", {}},
};

INSTANTIATE_TEST_SUITE_P(Table, BlockedOutgoingFile, ::testing::ValuesIn(blocked_outgoing),
                         [](const auto& info) { return std::string(info.param.name); });

class BlockedIncomingFile : public Spool, public ::testing::WithParamInterface<BlockedFileCase> {};

TEST_P(BlockedIncomingFile, FailsWithoutRaisingTheCounter) {
    const std::string dir = day + "/recv/";
    std::filesystem::create_directory(dir + GetParam().blocked);
    EXPECT_EQ(store_incoming_record(day, "13900000001", "hi", "2004-5-6 7:01:05"), -1);
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 0);
    EXPECT_TRUE(temporary_files(dir).empty());
}

const BlockedFileCase blocked_incoming[] = {
    {"sender", "R1", {}},
    {"text", "DA1", {}},
    {"header", "H1", {}},
    {"counter", "acc", {}},
};

INSTANTIATE_TEST_SUITE_P(Table, BlockedIncomingFile, ::testing::ValuesIn(blocked_incoming),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Spool, IncomingCounterCountsOnlyCompleteRecords) {
    // A reader that trusts the counter must find the header too; the header comes before the counter.
    put_file(day + "/recv/acc", "2");
    std::filesystem::create_directory(day + "/recv/H3");
    EXPECT_EQ(store_incoming_record(day, "13900000001", "hi", "t"), -1);
    EXPECT_EQ(file_bytes(day + "/recv/acc"), "2");
    std::filesystem::remove(day + "/recv/H3");
    EXPECT_EQ(store_incoming_record(day, "13900000001", "hi", "t"), 3);
    RecordTexts r = read_record(day, SpoolDir::Recv, 3);
    EXPECT_TRUE(r.header && r.content && r.recipients);
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
    ASSERT_EQ(queue_outgoing_record(day, "139", "2004-5-6 7:01:05", "abc\ndef", clock), 1);
    std::filesystem::remove(day + "/new/DA1");
    RecordTexts r = read_record(day, SpoolDir::New, 1);
    EXPECT_EQ(r.recipients.value(), "139");
    EXPECT_FALSE(r.content);
    EXPECT_TRUE(r.header);
    EXPECT_EQ(read_record_time(day, SpoolDir::New, 1).value(), "2004-5-6 7:01:05");
    EXPECT_FALSE(read_record_time(day, SpoolDir::New, 2));
}

TEST_F(Spool, RecordTimeIsReadWithRoomForNineteenCharacters) {
    ASSERT_EQ(queue_outgoing_record(day, "139", "2026-12-31 23:59:59x", "a", clock), 1);
    EXPECT_EQ(read_record_time(day, SpoolDir::New, 1).value(), "2026-12-31 23:59:59");
}

TEST_F(Spool, RewriteAndBarReplaceOneFileEach) {
    ASSERT_EQ(queue_outgoing_record(day, "139\r\n138", "t", "old", clock), 1);
    ASSERT_TRUE(rewrite_content(day, 1, "new text\nline two"));
    EXPECT_EQ(file_bytes(day + "/new/DA1"), "new text\r\nline two");
    ASSERT_TRUE(bar_record(day, 1));
    EXPECT_EQ(file_bytes(day + "/new/R1"), "*139\r\r\n138");
    ASSERT_TRUE(rewrite_recipients(day, 1, "137\r\n136"));
    EXPECT_EQ(file_bytes(day + "/new/R1"), "137\r\r\n136");
    EXPECT_FALSE(bar_record(day, 9)); // no such record: nothing is created
    EXPECT_FALSE(exists(day + "/new/R9"));
    EXPECT_TRUE(temporary_files(day + "/new").empty());
}

TEST_F(Spool, FailedRewriteKeepsTheOldFile) {
    ASSERT_EQ(queue_outgoing_record(day, "139", "t", "old", clock), 1);
    // A file size limit makes every write of more than two bytes fail, for root too.
    int failures = run_in_child([] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2, 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string text(100, '7');
        return !rewrite_content(day, 1, text) + !rewrite_recipients(day, 1, text) + !bar_record(day, 1);
    });
    EXPECT_EQ(failures, 3);
    EXPECT_EQ(file_bytes(day + "/new/DA1"), "old");
    EXPECT_EQ(file_bytes(day + "/new/R1"), "139");
    EXPECT_TRUE(temporary_files(day + "/new").empty());
}

// The engine may read a pending record at any moment while the operator changes it: every read must
// give a whole version of the file, never an empty or a cut one.
struct ConcurrentEditCase {
    const char* name;
    const char* file;
    std::function<bool(int round)> edit;
    std::function<bool(const std::string& bytes)> whole; // a version the edits can leave on disk
};

void PrintTo(const ConcurrentEditCase& c, std::ostream* os) {
    *os << c.name;
}

class ConcurrentEdit : public Spool, public ::testing::WithParamInterface<ConcurrentEditCase> {};

// Large enough that writing one version takes several system calls.
const std::string long_a(200000, '1');
const std::string long_b(150000, '2');

TEST_P(ConcurrentEdit, ReaderNeverSeesAPartialFile) {
    ASSERT_EQ(queue_outgoing_record(day, long_a, "t", long_a, clock), 1);
    const std::string path = day + "/new/" + GetParam().file;
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::vector<std::string> bad;
    std::thread reader([&] {
        while (!done.load()) {
            std::string bytes = file_bytes(path);
            if (!GetParam().whole(bytes) && bad.size() < 3) {
                bad.push_back(bytes.substr(0, 20) + "... (" + std::to_string(bytes.size()) + " bytes)");
            }
            ++reads;
        }
    });
    bool edits_ok = true;
    for (int round = 0; round < 100 && edits_ok; ++round) {
        edits_ok = GetParam().edit(round);
    }
    // Keep editing until the reader has had its chances even on a slow machine.
    for (int round = 100; reads.load() < 200 && round < 2000 && edits_ok; ++round) {
        edits_ok = GetParam().edit(round);
    }
    done = true;
    reader.join();
    EXPECT_TRUE(edits_ok);
    EXPECT_TRUE(bad.empty()) << (bad.empty() ? std::string() : bad.front());
    EXPECT_TRUE(temporary_files(day + "/new").empty());
}

bool is_one_of_the_long_texts(const std::string& bytes) {
    return bytes == long_a || bytes == long_b;
}

const ConcurrentEditCase concurrent_edits[] = {
    {"recipients", "R1", [](int round) { return rewrite_recipients(day, 1, round % 2 ? long_a : long_b); },
     is_one_of_the_long_texts},
    {"content", "DA1", [](int round) { return rewrite_content(day, 1, round % 2 ? long_a : long_b); },
     is_one_of_the_long_texts},
    {"bar", "R1", [](int) { return bar_record(day, 1); },
     [](const std::string& bytes) {
         size_t stars = bytes.find_first_not_of('*');
         return stars != std::string::npos && bytes.substr(stars) == long_a;
     }},
};

INSTANTIATE_TEST_SUITE_P(Table, ConcurrentEdit, ::testing::ValuesIn(concurrent_edits),
                         [](const auto& info) { return std::string(info.param.name); });

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

// Several threads queue at once; true when they got the numbers 1 .. threads * each, each once.
bool queue_from_threads(int threads, int each) {
    std::vector<std::thread> pool;
    std::vector<std::vector<long>> got(threads);
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int i = 0; i < each; ++i) {
                got[t].push_back(queue_outgoing_record(day, "139", "x", "c", real_clock()));
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
    return numbers.size() == static_cast<size_t>(threads * each) && *numbers.begin() == 1 &&
           *numbers.rbegin() == threads * each && read_counter(day, SpoolDir::New) == threads * each;
}

class QueueLock : public Spool {
protected:
    const std::string lock_path = day + "/new/acc.lock";
};

// Whoever can open the lock file can hold it, and so stop every writer: it is no more open than the
// records it guards, and nobody who may not write them may read it.
TEST_F(QueueLock, NewLockFileIsOpenOnlyToThoseWhoMayWriteTheSpool) {
    ASSERT_EQ(queue_outgoing_record(day, "139", "t", "x", clock), 1);
    struct stat lock {
    }, record{};
    ASSERT_EQ(::stat(lock_path.c_str(), &lock), 0);
    ASSERT_EQ(::stat((day + "/new/R1").c_str(), &record), 0);
    mode_t lock_mode = lock.st_mode & 07777;
    mode_t record_mode = record.st_mode & 07777;
    EXPECT_EQ(lock_mode & ~record_mode, 0u) << std::oct << lock_mode << " beside " << record_mode;
    EXPECT_TRUE((lock_mode & S_IWGRP) || !(lock_mode & S_IRGRP)) << std::oct << lock_mode;
    EXPECT_TRUE((lock_mode & S_IWOTH) || !(lock_mode & S_IROTH)) << std::oct << lock_mode;
    EXPECT_TRUE(lock_mode & S_IWUSR);
}

// A lock file left open to everyone by an older version is narrowed by its owner's next writer.
TEST_F(QueueLock, LockFileOpenToEveryoneIsNarrowed) {
    put_file(lock_path, "");
    ASSERT_EQ(::chmod(lock_path.c_str(), 0666), 0);
    ASSERT_EQ(queue_outgoing_record(day, "139", "t", "x", clock), 1);
    struct stat st {};
    ASSERT_EQ(::stat(lock_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWOTH, 0u);
}

// Anyone able to lock it could otherwise stop every writer for good: the wait has an end, and the
// writer then writes nothing.
TEST_F(QueueLock, HeldLockRefusesAfterTheWaitAndWritesNothing) {
    FileLock held(lock_path);
    ASSERT_TRUE(held.locked());
    std::promise<std::pair<long, int>> outcome;
    std::thread writer([&] {
        int error = 0;
        long n =
            queue_outgoing_record(day, "139", "t", "x", clock, &error, {}, nullptr, std::chrono::milliseconds(200));
        outcome.set_value({n, error});
    });
    auto result = outcome.get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the writer never gave up";
    writer.join();
    EXPECT_EQ(result.get(), std::make_pair(queue_not_locked, ETIMEDOUT));
    EXPECT_EQ(read_counter(day, SpoolDir::New), 0);
    EXPECT_FALSE(exists(day + "/new/R1"));
}

// A spool shared by two users: the lock file was made by someone else, and this user may only read it.
// The lock must still be taken, and must still keep writers apart.
TEST_F(QueueLock, LockFileThatCannotBeOpenedForWritingStillLocks) {
    put_file(lock_path, "");
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(lock_path.c_str(), 0444), 0);
        ASSERT_NE(::access(lock_path.c_str(), W_OK), 0);
        EXPECT_TRUE(queue_from_threads(4, 25));
        return;
    }
    // Permission bits do not stop root, so the writer runs as another user, against a lock file of
    // root's with mode 0644: the very case of two users sharing a spool.
    ASSERT_EQ(::chmod(lock_path.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(".", 0755), 0);
    ASSERT_EQ(::chmod(day.c_str(), 0755), 0);
    ASSERT_EQ(::chmod((day + "/new").c_str(), 0777), 0);
    int status = run_in_child([this] {
        const gid_t nogroup = 65534;
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0) {
            return 10;
        }
        if (::access(lock_path.c_str(), W_OK) == 0) {
            return 11; // the lock file would not test the read-only way
        }
        return queue_from_threads(4, 25) ? 0 : 12;
    });
    EXPECT_EQ(status, 0) << "10: could not become another user, 11: lock file writable, 12: numbers shared";
}

TEST_F(QueueLock, UnopenableLockFileRefusesAndWritesNothing) {
    // A directory in the lock file's place cannot be opened for locking by anyone, root included.
    std::filesystem::create_directory(lock_path);
    int error = 0;
    EXPECT_EQ(queue_outgoing_record(day, "139", "t", "x", clock, &error), queue_not_locked);
    EXPECT_EQ(error, EISDIR);
    EXPECT_TRUE(clock.sleeps().empty());
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(day + "/new")) {
        names.push_back(e.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"acc.lock"});
}

TEST_F(QueueLock, MissingDayDirectoryRefusesWithItsReason) {
    int error = 0;
    EXPECT_EQ(queue_outgoing_record("2004-5-7", "139", "t", "x", clock, &error), queue_not_locked);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(exists("2004-5-7"));
}

} // namespace
