#include "platform/text_file.h"
#include "store/spool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SpoolProcesses : public TempDirTest {};

// Several processes queue into one day at once. Every record must exist once, complete, under its own
// number, and the queued counter must equal the total.
TEST_F(SpoolProcesses, ConcurrentWritersNeverShareANumber) {
    constexpr int writers = 4, each = 250;
    const std::string day = "2004-5-6";
    ensure_day_dirs(day);
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < each; ++i) {
                std::string tag = std::to_string(w) + ":" + std::to_string(i);
                // The lock's wait is long here: on a busy machine four writers that each flush every
                // record can hold a caller past the usual few seconds, and waiting is not what is tested.
                if (queue_outgoing_record(day, "to " + tag, "t", "content " + tag, real_clock(), nullptr, {}, nullptr,
                                          std::chrono::minutes(2)) < 1) {
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
    EXPECT_EQ(file_bytes(day + "/new/acc"), std::to_string(writers * each));
    std::set<std::string> tags;
    for (int n = 1; n <= writers * each; ++n) {
        RecordTexts r = read_record(day, SpoolDir::New, n);
        ASSERT_TRUE(r.header && r.content && r.recipients) << "record " << n;
        std::string tag = r.content->substr(std::string("content ").size());
        EXPECT_EQ(*r.recipients, "to " + tag) << "record " << n;
        tags.insert(tag);
    }
    EXPECT_EQ(tags.size(), static_cast<size_t>(writers * each));
}

} // namespace
