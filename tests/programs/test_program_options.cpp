// What every program says about itself (--help, --version) and where it works (--dir).
#include "platform/clock.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ProgramCase {
    const char* name;
    const char* path; // in the build tree
    std::vector<std::string> help_says;
};

void PrintTo(const ProgramCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramOptions : public TempDirTest, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramOptions, HelpAndVersionExitZeroAndTouchNothing) {
    const ProgramCase& c = GetParam();
    // No display: --help and --version must not need one (the console opens no window for them).
    ::unsetenv("DISPLAY");
    ProgramResult help = run_program(built_program(c.path), {"--help"});
    EXPECT_EQ(help.exit_code, 0) << help.err;
    EXPECT_EQ(help.out.rfind("usage: " + std::string(c.name), 0), 0u) << help.out;
    for (const std::string& words : c.help_says) {
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
    ProgramResult version = run_program(built_program(c.path), {"--version"});
    EXPECT_EQ(version.exit_code, 0) << version.err;
    EXPECT_EQ(version.out.rfind(std::string(c.name) + " (vmSMS) ", 0), 0u) << version.out;
    EXPECT_TRUE(std::filesystem::is_empty(dir())); // no file written
}

const ProgramCase programs[] = {
    {"vmsmsd",
     "programs/vmsmsd",
     {"--dir PATH", "--responsive", "快速收发", "0 is fastest", "--retry", "发送短信失败后重试", "--version"}},
    {"vmsms-send", "programs/vmsms-send", {"--dir PATH", "--to NUMBER", "--long", "Exit status"}},
    {"vmsms-modemsim",
     "programs/vmsms-modemsim",
     {"--link PATH", "--submit-latency", "Control commands (vmsms-modemsim ctl SOCKET COMMAND"}},
    {"vmsms-listener", "programs/vmsms-listener", {"--dir PATH", "--new-token NAME", "--listen ADDR:PORT"}},
    {"vmsms", "console/vmsms", {"--dir PATH", "no window is opened", "--screenshot"}},
};

INSTANTIATE_TEST_SUITE_P(Table, ProgramOptions, ::testing::ValuesIn(programs), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

// The long options a usage synopsis names: its "usage:" line and the indented lines that go on from it.
std::set<std::string> options_in_usage(const std::string& text) {
    std::set<std::string> options;
    std::size_t start = text.find("usage:");
    if (start == std::string::npos) {
        return options;
    }
    std::istringstream lines(text.substr(start));
    static const std::regex option("--[a-z0-9][a-z0-9-]*");
    std::string line;
    for (bool first = true; std::getline(lines, line) && (first || line.starts_with(" ")); first = false) {
        for (std::sregex_iterator it(line.begin(), line.end(), option), end; it != end; ++it) {
            options.insert(it->str());
        }
    }
    return options;
}

// Whether line `i` of `lines` is an entry for `name` (an option or a command): indented, starting with the
// name (and its arguments), with the explanation after two spaces or on the next, further indented line.
bool is_entry(const std::vector<std::string>& lines, std::size_t i, const std::string& name) {
    const std::string& line = lines[i];
    std::size_t indent = line.find_first_not_of(' ');
    if (indent == 0 || indent == std::string::npos || line.compare(indent, name.size(), name) != 0) {
        return false;
    }
    std::size_t after = indent + name.size();
    if (after < line.size() && line[after] != ' ') {
        return false; // a longer name
    }
    std::size_t gap = line.find("  ", after);
    if (gap != std::string::npos) {
        return line.find_first_not_of(' ', gap) != std::string::npos;
    }
    std::size_t next_indent = i + 1 < lines.size() ? lines[i + 1].find_first_not_of(' ') : std::string::npos;
    return next_indent != std::string::npos && next_indent > indent;
}

bool has_entry(const std::string& help, const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(help);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (is_entry(lines, i, name)) {
            return true;
        }
    }
    return false;
}

class UsageOptions : public TempDirTest, public ::testing::WithParamInterface<ProgramCase> {};

// Every option a program's usage names, in --help or in what a wrong option shows, is explained in --help.
TEST_P(UsageOptions, EveryOptionOfTheUsageIsExplainedInTheHelp) {
    const ProgramCase& c = GetParam();
    ProgramResult help = run_program(built_program(c.path), {"--help"});
    ASSERT_EQ(help.exit_code, 0) << help.err;
    ProgramResult wrong = run_program(built_program(c.path), {"--no-such-option"});
    EXPECT_EQ(wrong.exit_code, 2) << wrong.err;
    std::set<std::string> options = options_in_usage(help.out);
    options.merge(options_in_usage(wrong.err));
    ASSERT_FALSE(options.empty()) << "no usage found in:\n" << help.out << wrong.err;
    for (const std::string& option : options) {
        EXPECT_TRUE(has_entry(help.out, option)) << option << " has no line of its own in:\n" << help.out;
    }
}

// The console names its options in --help only, and a wrong option would open its window.
std::vector<ProgramCase> programs_but_the_console() {
    std::vector<ProgramCase> chosen;
    std::copy_if(std::begin(programs), std::end(programs), std::back_inserter(chosen),
                 [](const ProgramCase& c) { return std::string(c.name) != "vmsms"; });
    return chosen;
}

INSTANTIATE_TEST_SUITE_P(Table, UsageOptions, ::testing::ValuesIn(programs_but_the_console()), [](const auto& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST(ControlCommandHelp, EveryCommandOfTheSimulatorIsExplained) {
    ProgramResult help = run_program(built_program("programs/vmsms-modemsim"), {"--help"});
    ASSERT_EQ(help.exit_code, 0) << help.err;
    for (const char* command :
         {"deliver", "fault none", "fault silent|error|reject|endless-listing|trickling-listing|garbage", "fault fail",
          "fault garbage --count", "fault unplug", "fault replug", "layout", "latency", "release", "report-delay",
          "reports", "network", "storage", "sim", "identity", "fault hung", "sent", "messages", "destinations",
          "stored", "status", "clear", "quit"}) {
        EXPECT_TRUE(has_entry(help.out, command)) << command << " has no line of its own in:\n" << help.out;
    }
}

class WorkingDirectory : public TempDirTest {
protected:
    std::string today() { return spool_date(real_clock().now()); }
};

TEST_F(WorkingDirectory, VmsmsSendQueuesInTheDirectoryItIsGiven) {
    std::filesystem::create_directory("gateway");
    put_file("gateway/server.txt", "[SET]\r\nCOM=/dev/null\r\n");
    ProgramResult r = run_program(built_program("programs/vmsms-send"), {"--dir", "gateway", "--to", "139", "hi"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_bytes("gateway/" + today() + "/new/DA1"), "hi");
    EXPECT_FALSE(exists(today()));
}

TEST_F(WorkingDirectory, VmsmsSendWarnsOfASpoolNobodySendsFrom) {
    ProgramResult r = run_program(built_program("programs/vmsms-send"), {"--to", "139", "hi"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("holds no server.txt"), std::string::npos) << r.err;
    EXPECT_EQ(file_bytes(today() + "/new/DA1"), "hi"); // queued all the same
}

TEST_F(WorkingDirectory, VmsmsdWorksInTheDirectoryItIsGiven) {
    std::filesystem::create_directory("gateway");
    put_file("gateway/server.txt", "[SET]\r\nCOM=/nonexistent/ttyVMSMS9\r\n");
    ProgramResult r = run_program(built_program("programs/vmsmsd"), {"--dir", "gateway"});
    EXPECT_EQ(r.exit_code, 1); // the port is missing: the start-up fails, there
    EXPECT_TRUE(exists("gateway/sms.log"));
    EXPECT_FALSE(exists("sms.log"));
}

// Started as root with --user, the engine runs as that user: what it writes belongs to it.
TEST_F(WorkingDirectory, VmsmsdGivesUpRootForTheUserItIsGiven) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    std::filesystem::create_directory("gateway");
    std::filesystem::permissions("gateway", std::filesystem::perms::all);
    std::filesystem::permissions(dir(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec |
                                            std::filesystem::perms::group_exec);
    put_file("gateway/server.txt", "[SET]\r\nCOM=/nonexistent/ttyVMSMS9\r\n");
    ProgramResult r = run_program(built_program("programs/vmsmsd"), {"--dir", "gateway", "--user", "nobody"});
    EXPECT_EQ(r.exit_code, 1) << r.err; // the port is missing: the start-up fails
    struct stat written {};
    ASSERT_EQ(::stat("gateway/sms.log", &written), 0) << r.err;
    EXPECT_EQ(written.st_uid, 65534u);
    ProgramResult unknown =
        run_program(built_program("programs/vmsmsd"), {"--dir", "gateway", "--user", "no-such-user-x"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_NE(unknown.err.find("no user no-such-user-x"), std::string::npos) << unknown.err;
}

TEST_F(WorkingDirectory, ADirectoryThatCannotBeEnteredIsRefused) {
    for (const char* program : {"programs/vmsmsd", "programs/vmsms-send", "programs/vmsms-listener", "console/vmsms"}) {
        ProgramResult r = run_program(built_program(program), {"--dir", "missing", "--to", "139", "hi"});
        EXPECT_EQ(r.exit_code, 1) << program;
        EXPECT_NE(r.err.find("cannot work in missing: No such file or directory"), std::string::npos) << r.err;
    }
}

TEST_F(WorkingDirectory, TheConsoleWorksInTheDirectoryItIsGiven) {
    std::filesystem::create_directory("gateway");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ProgramResult r = run_program(built_program("console/vmsms"), {"--dir", "gateway", "--screenshot", "shot.png"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(exists("gateway/shot.png"));
    EXPECT_FALSE(exists("shot.png"));
}

} // namespace
