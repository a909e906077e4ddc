#include "platform/fs.h"
#include "platform/text_file.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class TextFile : public TempDirTest {};

std::vector<std::string> directory_names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(TextFile, LineFeedsAreStoredAsCrLfAndReadBack) {
    ASSERT_TRUE(write_text_file("f", "a\nb\n"));
    EXPECT_EQ(file_bytes("f"), "a\r\nb\r\n");
    EXPECT_EQ(read_text_file("f").value(), "a\nb\n");
}

TEST_F(TextFile, CrLfInsideTheTextBecomesCrCrLf) {
    ASSERT_TRUE(write_text_file("f", "139\r\n138"));
    EXPECT_EQ(file_bytes("f"), "139\r\r\n138");
    EXPECT_EQ(read_text_file("f").value(), "139\r\n138");
}

TEST_F(TextFile, LoneCrIsKept) {
    ASSERT_TRUE(write_text_file("f", "a\rb"));
    EXPECT_EQ(read_text_file("f").value(), "a\rb");
}

TEST_F(TextFile, MissingFileReadsAsNothing) {
    EXPECT_FALSE(read_text_file("nope"));
    EXPECT_FALSE(read_first_line("nope", 9));
}

TEST_F(TextFile, WriteReplacesTheWholeFile) {
    ASSERT_TRUE(write_text_file("f", "long old text"));
    ASSERT_TRUE(write_text_file("f", "new"));
    EXPECT_EQ(file_bytes("f"), "new");
}

TEST_F(TextFile, WriteIntoMissingDirectoryFails) {
    EXPECT_FALSE(write_text_file("no/such/dir/f", "x"));
    EXPECT_FALSE(replace_file_atomically("no/such/dir/f", "x"));
}

TEST_F(TextFile, FirstLineIsCutAtLineEndAndLimit) {
    put_file("f", "12345\r\n678");
    EXPECT_EQ(read_first_line("f", 9).value(), "12345");
    EXPECT_EQ(read_first_line("f", 3).value(), "123");
    put_file("g", "");
    EXPECT_EQ(read_first_line("g", 9).value(), "");
}

TEST_F(TextFile, AtomicReplaceLeavesOnlyTheFile) {
    ASSERT_TRUE(replace_file_atomically("acc", "5"));
    ASSERT_TRUE(replace_file_atomically("acc", "6"));
    EXPECT_EQ(file_bytes("acc"), "6");
    EXPECT_EQ(directory_names("."), std::vector<std::string>{"acc"});
}

TEST_F(TextFile, AtomicReplaceGivesTheModeOfAPlainCreate) {
    mode_t old = ::umask(0); // reading the umask means setting it
    ::umask(old);
    ASSERT_TRUE(replace_file_atomically("acc", "1"));
    struct stat st {};
    ASSERT_EQ(::stat("acc", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~old);
}

// A replaced file keeps the permission bits it had, so a file its owner made private never becomes
// readable by others through a write; OwnerOnly makes any file private.
struct AccessCase {
    const char* name;
    mode_t before; // 0: no file yet
    FileAccess access;
    mode_t after;
};

class ReplacedAccess : public TempDirTest, public ::testing::WithParamInterface<AccessCase> {};

TEST_P(ReplacedAccess, ModeAfterTheReplace) {
    const AccessCase& c = GetParam();
    if (c.before != 0) {
        ASSERT_TRUE(replace_file_atomically("f", "old"));
        ASSERT_EQ(::chmod("f", c.before), 0);
    }
    ASSERT_TRUE(replace_file_atomically("f", "new", c.access));
    struct stat st {};
    ASSERT_EQ(::stat("f", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(file_bytes("f"), "new");
    EXPECT_EQ(directory_names("."), std::vector<std::string>{"f"});
}

const AccessCase access_cases[] = {
    {"private_file_stays_private", 0600, FileAccess::Kept, 0600},
    {"group_readable_file_stays_so", 0640, FileAccess::Kept, 0640},
    {"readable_file_made_private", 0644, FileAccess::OwnerOnly, 0600},
    {"new_file_made_private", 0, FileAccess::OwnerOnly, 0600},
};

INSTANTIATE_TEST_SUITE_P(Table, ReplacedAccess, ::testing::ValuesIn(access_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Root replacing a service user's file gives it back to that user: a private file root took over would
// be one the service cannot read.
TEST_F(TextFile, RootReplacingAnotherUsersFileKeepsItsOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    ASSERT_TRUE(replace_file_atomically("f", "old"));
    ASSERT_EQ(::chown("f", 65534, 65534), 0);
    ASSERT_TRUE(replace_file_atomically("f", "new", FileAccess::OwnerOnly));
    struct stat st {};
    ASSERT_EQ(::stat("f", &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(TextFile, AtomicTextReplaceWritesTextMode) {
    ASSERT_TRUE(replace_text_file_atomically("R1", "139\r\n138\n"));
    EXPECT_EQ(file_bytes("R1"), "139\r\r\n138\r\n");
    EXPECT_EQ(directory_names("."), std::vector<std::string>{"R1"});
}

// A write that fails half-way (the disk full, a file size limit) must leave the old file and no
// temporary one. A file size limit in a child process makes the write fail for root as well.
TEST_F(TextFile, FailedAtomicReplaceKeepsTheOldFileAndLeavesNoTemporary) {
    ASSERT_TRUE(replace_file_atomically("acc", "41"));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4, 4};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        bool replaced = replace_file_atomically("acc", "123456789");
        bool text_replaced = replace_text_file_atomically("acc", "1234\n");
        ::_exit(replaced || text_replaced ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a replacement beyond the size limit succeeded";
    EXPECT_EQ(file_bytes("acc"), "41");
    EXPECT_EQ(directory_names("."), std::vector<std::string>{"acc"});
}

TEST_F(TextFile, FailedRenameLeavesNoTemporary) {
    std::filesystem::create_directories("acc/inside");
    EXPECT_FALSE(replace_file_atomically("acc", "1"));
    EXPECT_EQ(directory_names("."), std::vector<std::string>{"acc"});
}

TEST_F(TextFile, DirectoryReadsAsNothing) {
    std::filesystem::create_directory("d");
    EXPECT_FALSE(read_binary_file("d"));
    EXPECT_FALSE(read_text_file("d"));
}

struct BoundedCase {
    const char* name;
    std::size_t size; // bytes in the file
    std::size_t limit;
    BoundedRead::Status status;
};

void PrintTo(const BoundedCase& c, std::ostream* os) {
    *os << c.name;
}

class Bounded : public TextFile, public ::testing::WithParamInterface<BoundedCase> {};

TEST_P(Bounded, ReadsUpToTheLimitAndNoFurther) {
    std::string bytes(GetParam().size, 'x');
    for (std::size_t i = 0; i < bytes.size(); i += 7) {
        bytes[i] = '\n';
    }
    put_file("f", bytes);
    BoundedRead r = read_file_bounded("f", GetParam().limit);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.bytes, GetParam().status == BoundedRead::Status::Read ? bytes : std::string());
}

const BoundedCase bounded_cases[] = {
    {"empty", 0, 10, BoundedRead::Status::Read},
    {"below_the_limit", 9, 10, BoundedRead::Status::Read},
    {"at_the_limit", 10, 10, BoundedRead::Status::Read},
    {"one_byte_over", 11, 10, BoundedRead::Status::TooLarge},
    {"far_over", 1000000, 10, BoundedRead::Status::TooLarge},
    {"at_a_large_limit", 200000, 200000, BoundedRead::Status::Read},
    {"over_a_large_limit", 200001, 200000, BoundedRead::Status::TooLarge},
};

INSTANTIATE_TEST_SUITE_P(Table, Bounded, ::testing::ValuesIn(bounded_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextFile, BoundedReadTellsWhatKeptItFromReading) {
    std::filesystem::create_directory("d");
    EXPECT_EQ(read_file_bounded("d", 10).status, BoundedRead::Status::IsDirectory);
    BoundedRead missing = read_file_bounded("nope", 10);
    EXPECT_EQ(missing.status, BoundedRead::Status::CannotOpen);
    EXPECT_EQ(missing.error, ENOENT);
}

TEST_F(TextFile, BoundedReadStopsOnAnEndlessInput) {
    int fd = ::open("/dev/zero", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    BoundedRead r = read_fd_bounded(fd, 100000);
    ::close(fd);
    EXPECT_EQ(r.status, BoundedRead::Status::TooLarge);
    EXPECT_EQ(read_file_bounded("/dev/zero", 100000).status, BoundedRead::Status::TooLarge);
}

TEST_F(TextFile, MakeDirIgnoresAnExistingDirectory) {
    make_dir("d");
    put_file("d/x", "1");
    make_dir("d");
    EXPECT_EQ(file_bytes("d/x"), "1");
    EXPECT_TRUE(remove_file("d/x"));
    EXPECT_TRUE(remove_file("d/x")); // already gone is no error
    EXPECT_FALSE(file_exists("d/x"));
}

} // namespace
