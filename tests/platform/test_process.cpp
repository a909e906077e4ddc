#include "platform/process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class Process : public TempDirTest {
protected:
    // Waits (bounded) for a file that a started program writes.
    // Whether the file comes, with something in it: the shell creates it before it writes the line.
    bool appears(const std::string& path) {
        for (int i = 0; i < 200; ++i) {
            if (!file_bytes(path).empty()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void script(const std::string& path, const std::string& body) {
        put_file(path, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
};

TEST_F(Process, DetachedProgramRunsInTheWorkingDirectory) {
    script("tool", "pwd > ran.txt");
    ASSERT_TRUE(launch_detached("./tool"));
    ASSERT_TRUE(appears("ran.txt"));
}

TEST_F(Process, MissingProgramIsReported) {
    EXPECT_FALSE(launch_detached("./nothing-here"));
    EXPECT_FALSE(launch_detached("no-such-program-anywhere-xyz"));
    EXPECT_FALSE(launch_companion("./numgen.exe"));
}

TEST_F(Process, CompanionPathFallsBackToTheNameWithoutExe) {
    script("numgen", "echo started > started");
    ASSERT_TRUE(launch_companion("./numgen.exe"));
    EXPECT_TRUE(appears("started"));
}

// The gateway's own programs come from the folder of the running executable (here the test's), and
// the companion program stands in when ours is not there.
TEST_F(Process, BundledProgramComesFromTheProgramsFolderElseTheCompanion) {
    std::string folder = program_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::exists(folder + "/test_platform"));
    script("listener1", "echo companion > ran.txt");
    ASSERT_TRUE(launch_bundled("no-such-program-beside-the-tests", "./listener1.exe"));
    ASSERT_TRUE(appears("ran.txt"));
    EXPECT_EQ(file_bytes("ran.txt"), "companion\n");
    EXPECT_TRUE(launch_bundled("test_platform_never_built", "./listener1.exe"));
    EXPECT_FALSE(launch_bundled("test_platform_never_built", "./missing.exe"));
}

TEST_F(Process, EditorComesFromVisualThenEditor) {
    script("ed1", "echo \"$1\" > edited-by-visual");
    script("ed2", "echo \"$1\" > edited-by-editor");
    ::setenv("VISUAL", (dir() + "/ed1").c_str(), 1);
    ::setenv("EDITOR", (dir() + "/ed2").c_str(), 1);
    ASSERT_TRUE(open_in_text_editor("./huiyuan.txt"));
    EXPECT_TRUE(appears("edited-by-visual"));
    ::unsetenv("VISUAL");
    ASSERT_TRUE(open_in_text_editor("./huiyuan.txt"));
    EXPECT_TRUE(appears("edited-by-editor"));
    ::unsetenv("EDITOR");
}

TEST_F(Process, EditorWithArgumentsIsACommandLine) {
    script("ed3", "echo \"$1 $2\" > edited-with-args");
    ::setenv("VISUAL", (dir() + "/ed3 --wait").c_str(), 1);
    ASSERT_TRUE(open_in_text_editor("./huiyuan.txt"));
    ::unsetenv("VISUAL");
    ASSERT_TRUE(appears("edited-with-args"));
    for (int i = 0; i < 200 && file_bytes("edited-with-args").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(file_bytes("edited-with-args"), "--wait ./huiyuan.txt\n");
}

} // namespace
