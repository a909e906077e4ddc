#include "engine/report/event_hooks.h"
#include "platform/gbk.h"
#include "platform/spawned_process.h"
#include "support/memory_trace.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct SplitCase {
    const char* name;
    const char* line;
    std::vector<std::string> words;
    bool ok;
};

class CommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLine, SplitsAsAShellSplitsPlainWords) {
    std::optional<std::vector<std::string>> words = split_command_line(GetParam().line);
    ASSERT_EQ(words.has_value(), GetParam().ok);
    if (words) {
        EXPECT_EQ(*words, GetParam().words);
    }
}

const SplitCase splits[] = {
    {"plain_words", "/usr/bin/notify --to ops", {"/usr/bin/notify", "--to", "ops"}, true},
    {"blanks_around", "  prog \t a  ", {"prog", "a"}, true},
    {"double_quotes_keep_blanks", "prog \"two words\" x", {"prog", "two words", "x"}, true},
    {"single_quotes_take_everything", "prog '$HOME \"q\" \\n'", {"prog", "$HOME \"q\" \\n"}, true},
    {"escaped_blank", "my\\ prog a", {"my prog", "a"}, true},
    {"nothing_else_is_special", "prog $X *.txt | tee; rm", {"prog", "$X", "*.txt", "|", "tee;", "rm"}, true},
    {"empty_quotes_are_a_word", "prog \"\"", {"prog", ""}, true},
    {"open_quote", "prog \"unfinished", {}, false},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandLine, ::testing::ValuesIn(splits),
                         [](const auto& info) { return std::string(info.param.name); });

class Hooks : public TempDirTest {
protected:
    // A hook program: a shell script that writes its environment's VMSMS_ values to `out`.
    void script(const std::string& name, const std::string& body) {
        put_file(name, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(name, std::filesystem::perms::owner_all);
    }
    HookSettings settings(HookEvent event, std::vector<std::string> command, std::chrono::milliseconds timeout = 30s) {
        HookSettings s;
        s.commands[event] = std::move(command);
        s.timeout = timeout;
        return s;
    }
    template <typename Test> bool eventually(Test test, std::chrono::milliseconds limit = 10s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (test()) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return test();
    }
    MemoryTrace trace;
};

TEST_F(Hooks, TheMessageGoesInTheEnvironment) {
    script("on-received", "env | grep '^VMSMS_' | sort > seen.txt");
    HookRunner runner(settings(HookEvent::Received, {dir() + "/on-received"}), trace);
    runner.start(HookEvent::Received, {"13900000001", gbk("你好 *P1"), "2004-5-6", 7, 0, 1, "2004-5-6-received-7"});
    ASSERT_TRUE(eventually([&] { return exists("seen.txt") && runner.running() == 0; })) << trace.text();
    EXPECT_EQ(file_bytes("seen.txt"),
              "VMSMS_DAY=2004-5-6\nVMSMS_EVENT=RECEIVED\nVMSMS_EVENT_ID=2004-5-6-received-7\nVMSMS_INDEX=0\n"
              "VMSMS_NUMBER=13900000001\nVMSMS_PARTS=1\nVMSMS_RECORD=7\n"
              "VMSMS_TEXT=你好 *P1\n");
}

TEST_F(Hooks, OnlyTheConfiguredEventRunsAndArgumentsArriveAsGiven) {
    script("on-sent", "printf '%s|' \"$@\" > args.txt");
    HookRunner runner(settings(HookEvent::Sent, {dir() + "/on-sent", "a b", "$VMSMS_TEXT"}), trace);
    runner.start(HookEvent::Failed, {"139", "x", "d", 1, 0, 1, ""});
    EXPECT_EQ(runner.running(), 0u);
    runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
    ASSERT_TRUE(eventually([&] { return exists("args.txt") && runner.running() == 0; }));
    EXPECT_EQ(file_bytes("args.txt"), "a b|$VMSMS_TEXT|"); // no shell expands anything
}

TEST_F(Hooks, AHookThatHangsIsStoppedAfterItsTimeAndTheEngineIsNotHeld) {
    script("hang", "sleep 60");
    HookRunner runner(settings(HookEvent::Sent, {dir() + "/hang"}, 300ms), trace);
    auto before = std::chrono::steady_clock::now();
    runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s); // started, not waited for
    EXPECT_EQ(runner.running(), 1u);
    ASSERT_TRUE(eventually([&] { return runner.running() == 0; }, 5s)) << trace.text();
    EXPECT_TRUE(trace.contains("still running after 0 s: stopped")) << trace.text();
}

TEST_F(Hooks, FailuresGoToTheTrace) {
    script("fail", "exit 3");
    HookRunner failing(settings(HookEvent::Failed, {dir() + "/fail"}), trace);
    failing.start(HookEvent::Failed, {"139", "x", "d", 1, 0, 1, ""});
    ASSERT_TRUE(eventually([&] { return trace.contains("failed: exit status 3"); })) << trace.text();
    HookRunner missing(settings(HookEvent::Failed, {dir() + "/no-such-program"}), trace);
    missing.start(HookEvent::Failed, {"139", "x", "d", 1, 0, 1, ""});
    EXPECT_TRUE(trace.contains("could not start: No such file or directory")) << trace.text();
}

TEST_F(Hooks, EndingTheRunnerStopsTheHooksStillRunning) {
    script("hang", "echo $$ > pid.txt; sleep 60");
    std::string pid;
    {
        HookRunner runner(settings(HookEvent::Sent, {dir() + "/hang"}), trace);
        runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
        ASSERT_TRUE(eventually([&] { return !file_bytes("pid.txt").empty(); }));
        pid = file_bytes("pid.txt");
    }
    pid.pop_back();
    EXPECT_FALSE(std::filesystem::exists("/proc/" + pid)) << "hook " << pid << " left running";
}

// Gone, or a zombie nobody has collected yet (outside a real init, orphans may wait for that).
bool process_ended(const std::string& pid) {
    std::string stat = file_bytes("/proc/" + pid + "/stat");
    std::size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
}

std::string written_pid(const std::string& file) {
    std::string pid = file_bytes(file);
    return pid.empty() ? pid : pid.substr(0, pid.find('\n'));
}

// A hook's time limit and the engine's end hold for what it started in the background too, even when
// that ignores SIGTERM: its process group is signalled when it ends, times out, or the engine stops.
TEST_F(Hooks, ProgramsAHookLeftInTheBackgroundEndWithIt) {
    script("detach", "(trap '' TERM; sleep 60) & echo $! > bg.txt; exit 0");
    HookRunner runner(settings(HookEvent::Sent, {dir() + "/detach"}), trace);
    runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
    ASSERT_TRUE(eventually([&] { return !written_pid("bg.txt").empty() && runner.running() == 0; }));
    std::string background = written_pid("bg.txt");
    EXPECT_TRUE(eventually([&] { return process_ended(background); }, 6s)) << "left running: " << background;
    EXPECT_TRUE(trace.contains("left programs running: stopped")) << trace.text();
}

TEST_F(Hooks, ProgramsOfAHookPastItsTimeEndWithIt) {
    script("hang", "(trap '' TERM; sleep 60) & echo $! > bg.txt; sleep 60");
    HookRunner runner(settings(HookEvent::Sent, {dir() + "/hang"}, 300ms), trace);
    runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
    ASSERT_TRUE(eventually([&] { return !written_pid("bg.txt").empty(); }));
    std::string background = written_pid("bg.txt");
    EXPECT_TRUE(eventually([&] { return process_ended(background); }, 8s)) << "left running: " << background;
}

TEST_F(Hooks, EndingTheRunnerEndsWhatFinishedHooksLeftBehind) {
    script("detach", "(trap '' TERM; sleep 60) & echo $! > bg.txt; exit 0");
    std::string background;
    {
        HookRunner runner(settings(HookEvent::Sent, {dir() + "/detach"}), trace);
        runner.start(HookEvent::Sent, {"139", "x", "d", 1, 0, 1, ""});
        ASSERT_TRUE(eventually([&] { return !written_pid("bg.txt").empty() && runner.running() == 0; }));
        background = written_pid("bg.txt");
    }
    EXPECT_TRUE(eventually([&] { return process_ended(background); }, 1s)) << "left running: " << background;
}

TEST_F(Hooks, SettingsComeFromTheHooksSection) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/null\r\n[HOOKS]\r\nRECEIVED=/usr/local/bin/on-sms \"a b\"\r\n"
                           "SENT=\r\nFAILED=x \"open\r\nTIMEOUT=5\r\n");
    HookSettings s = read_hook_settings();
    EXPECT_EQ(s.commands[HookEvent::Received], (std::vector<std::string>{"/usr/local/bin/on-sms", "a b"}));
    EXPECT_EQ(s.commands.count(HookEvent::Sent), 0u);
    EXPECT_EQ(s.commands.count(HookEvent::Failed), 0u);
    EXPECT_EQ(s.timeout, 5s);
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_NE(s.problems[0].find("FAILED="), std::string::npos);
}

} // namespace
