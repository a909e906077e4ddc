#include "engine/report/engine_logs.h"

#include "platform/gbk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>

namespace {

const std::string succ = "./log/SUCC2004-5-6.log";
const std::string fail = "./log/FAIL2004-5-6.log";
const std::string recv = "./log/RECV2004-5-6.log";

std::set<std::string> files_in(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class EngineLogsTest : public TempDirTest {};

// ---- report line formats ---------------------------------------------------------------------------------

struct LineCase {
    const char* name;
    std::function<void(EngineLogs&)> write;
    std::string file;
    std::string bytes; // exactly what must be on disk
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportLineTest : public EngineLogsTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ReportLineTest, StoresExactBytesInItsOwnLogOnly) {
    const LineCase& c = GetParam();
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    c.write(logs);
    // Read while still open: each line must already be on disk.
    for (const std::string& path : {succ, fail, recv}) {
        EXPECT_EQ(file_bytes(path), path == c.file ? c.bytes : "") << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReportLineTest,
    ::testing::Values(
        LineCase{"SuccessFirstAttempt",
                 [](EngineLogs& l) { l.report_success(3, 0, "7:01:05", "13566668888", gbk("你好")); }, succ,
                 "3.0,7:01:05   13566668888    " + gbk("你好") + "\r\r\n"},
        LineCase{"SuccessEnglishKeepsLeadByteAndTrailingSpaces",
                 [](EngineLogs& l) { l.report_success(12, 7, "23:59:59", "8613900000000", "\x02hello   "); }, succ,
                 "12.7,23:59:59   8613900000000    \x02hello   \r\r\n"},
        LineCase{"Failure", [](EngineLogs& l) { l.report_failure(1, 2, "0:00:01", "139", "x"); }, fail,
                 "1.2,0:00:01   139    x\r\r\n"},
        LineCase{"ReceivedHasThreeSpacesEachSide",
                 [](EngineLogs& l) { l.report_received(5, "7:01:05", "8613566668888", gbk("*天气")); }, recv,
                 "5,7:01:05   8613566668888   " + gbk("*天气") + "\r\r\n"},
        // A text with its own line breaks goes through text mode like the line end does.
        LineCase{"ReceivedMultiLineText", [](EngineLogs& l) { l.report_received(1, "9:00:00", "100", "a\nb"); }, recv,
                 "1,9:00:00   100   a\r\nb\r\r\n"},
        LineCase{"EmptyFields", [](EngineLogs& l) { l.report_received(0, "", "", ""); }, recv, "0,      \r\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineLogsTest, LinesFollowEachOtherInCallOrder) {
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    logs.report_failure(4, 0, "8:00:00", "111", "a");
    logs.report_success(4, 1, "8:00:04", "222", "a");
    logs.report_failure(4, 2, "8:00:08", "333", "a");
    EXPECT_EQ(file_bytes(fail), "4.0,8:00:00   111    a\r\r\n4.2,8:00:08   333    a\r\r\n");
    EXPECT_EQ(file_bytes(succ), "4.1,8:00:04   222    a\r\r\n");
}

// ---- the trace log ---------------------------------------------------------------------------------------

TEST_F(EngineLogsTest, TraceStartsWithDeviceLineAndStoresLinesInTextMode) {
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyUSB0");
    EXPECT_EQ(file_bytes("./sms.log"), "com=.../dev/ttyUSB0\r\n");
    tracef(logs, "accI_new=%d,accI_recv=%d,acc_send=%d\n", 3, 0, 2);
    tracef(logs, ">>>>>smssend END!!!!= ");
    logs.trace(gbk("内容=%s\n"));
    EXPECT_EQ(file_bytes("./sms.log"),
              "com=.../dev/ttyUSB0\r\naccI_new=3,accI_recv=0,acc_send=2\r\n>>>>>smssend END!!!!= " + gbk("内容=%s") +
                  "\r\n");
}

// ---- runs and days ---------------------------------------------------------------------------------------

TEST_F(EngineLogsTest, SecondRunSameDayAppendsReportsAndEmptiesTrace) {
    {
        EngineLogs first;
        first.open("2004-5-6", "/dev/ttyS0");
        first.trace("first run\n");
        first.report_success(1, 0, "7:00:00", "111", "one");
        first.report_failure(1, 1, "7:00:05", "222", "one");
        first.report_received(1, "7:00:09", "333", "hi");
        first.close();
    }
    EngineLogs second;
    second.open("2004-5-6", "/dev/ttyS1");
    second.trace("second run\n");
    second.report_success(2, 0, "8:00:00", "444", "two");
    second.report_received(2, "8:00:09", "555", "yo");

    EXPECT_EQ(file_bytes("./sms.log"), "com=.../dev/ttyS1\r\nsecond run\r\n");
    EXPECT_EQ(file_bytes(succ), "1.0,7:00:00   111    one\r\r\n2.0,8:00:00   444    two\r\r\n");
    EXPECT_EQ(file_bytes(fail), "1.1,7:00:05   222    one\r\r\n");
    EXPECT_EQ(file_bytes(recv), "1,7:00:09   333   hi\r\r\n2,8:00:09   555   yo\r\r\n");
}

TEST_F(EngineLogsTest, NamesComeFromTheStartDateForTheWholeRun) {
    put_file("./log/SUCC2004-5-7.log", "older\r\n");
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    // Past midnight the engine keeps writing into the start day's files.
    logs.report_success(1, 0, "0:00:03", "111", "late");
    logs.report_received(1, "0:00:04", "222", "late");

    EXPECT_EQ(files_in("./log"),
              (std::set<std::string>{"SUCC2004-5-6.log", "FAIL2004-5-6.log", "RECV2004-5-6.log", "SUCC2004-5-7.log"}));
    EXPECT_EQ(file_bytes(succ), "1.0,0:00:03   111    late\r\r\n");
    EXPECT_EQ(file_bytes("./log/SUCC2004-5-7.log"), "older\r\n");

    logs.open("2004-5-7", "/dev/ttyS0");
    logs.report_success(2, 0, "9:00:00", "333", "new day");
    EXPECT_EQ(file_bytes("./log/SUCC2004-5-7.log"), "older\r\n2.0,9:00:00   333    new day\r\r\n");
    EXPECT_EQ(file_bytes(succ), "1.0,0:00:03   111    late\r\r\n");
}

// ---- files that cannot be opened -------------------------------------------------------------------------

struct BlockedCase {
    const char* name;
    std::string blocker;              // created as a directory before the logs open
    std::set<std::string> unopenable; // report logs whose lines must be dropped
};

void PrintTo(const BlockedCase& c, std::ostream* os) {
    *os << c.name;
}

class BlockedReportTest : public EngineLogsTest, public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(BlockedReportTest, DropsItsLinesSaysSoOnceAndGoesOn) {
    const BlockedCase& c = GetParam();
    std::filesystem::create_directories(c.blocker);
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    for (int i = 0; i < 2; ++i) {
        logs.report_success(1, i, "7:00:00", "111", "s");
        logs.report_failure(1, i, "7:00:00", "222", "f");
        logs.report_received(i, "7:00:00", "333", "r");
    }
    logs.trace("still tracing\n");

    std::string expected_trace = "com=.../dev/ttyS0\r\n";
    for (const std::string& path : {succ, fail, recv}) {
        if (c.unopenable.count(path) != 0) {
            expected_trace +=
                "report log " + path + " cannot be opened (" + std::strerror(EISDIR) + "), its lines are dropped\r\n";
        }
    }
    expected_trace += "still tracing\r\n";
    EXPECT_EQ(file_bytes("./sms.log"), expected_trace);

    const std::string good_succ = "1.0,7:00:00   111    s\r\r\n1.1,7:00:00   111    s\r\r\n";
    const std::string good_fail = "1.0,7:00:00   222    f\r\r\n1.1,7:00:00   222    f\r\r\n";
    const std::string good_recv = "0,7:00:00   333   r\r\r\n1,7:00:00   333   r\r\r\n";
    EXPECT_EQ(file_bytes(succ), c.unopenable.count(succ) ? "" : good_succ);
    EXPECT_EQ(file_bytes(fail), c.unopenable.count(fail) ? "" : good_fail);
    EXPECT_EQ(file_bytes(recv), c.unopenable.count(recv) ? "" : good_recv);
}

INSTANTIATE_TEST_SUITE_P(Blocked, BlockedReportTest,
                         ::testing::Values(BlockedCase{"SuccessLog", succ, {succ}},
                                           BlockedCase{"ReceivedLog", recv, {recv}},
                                           BlockedCase{"FailureLog", fail, {fail}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineLogsTest, LogDirectoryThatIsAFileBlocksAllThreeReports) {
    put_file("./log", "not a directory");
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    logs.report_success(1, 0, "7:00:00", "111", "s");
    logs.report_received(1, "7:00:00", "333", "r");
    EXPECT_EQ(file_bytes("./log"), "not a directory");
    std::string expected_trace = "com=.../dev/ttyS0\r\n";
    for (const std::string& path : {succ, fail, recv}) {
        expected_trace +=
            "report log " + path + " cannot be opened (" + std::strerror(ENOTDIR) + "), its lines are dropped\r\n";
    }
    EXPECT_EQ(file_bytes("./sms.log"), expected_trace);
}

TEST_F(EngineLogsTest, UnopenableTraceLeavesReportsWorking) {
    std::filesystem::create_directory("./sms.log");
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    logs.trace("lost\n");
    logs.report_success(1, 0, "7:00:00", "111", "s");
    EXPECT_EQ(file_bytes(succ), "1.0,7:00:00   111    s\r\r\n");
    EXPECT_TRUE(std::filesystem::is_directory("./sms.log"));
}

// ---- closing ---------------------------------------------------------------------------------------------

TEST_F(EngineLogsTest, TraceClosedFirstLeavesReportsOpenUntilTheirOwnClose) {
    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    logs.close_trace();
    logs.trace("after trace closed\n");
    logs.report_failure(1, 0, "7:00:00", "111", "f");
    logs.close_reports();
    logs.report_failure(1, 1, "7:00:01", "111", "f");
    logs.report_received(1, "7:00:02", "222", "r");

    EXPECT_EQ(file_bytes("./sms.log"), "com=.../dev/ttyS0\r\n");
    EXPECT_EQ(file_bytes(fail), "1.0,7:00:00   111    f\r\r\n");
    EXPECT_EQ(file_bytes(recv), "");
}

TEST_F(EngineLogsTest, ClosingTwiceOrNeverOpenedIsHarmless) {
    EngineLogs never_opened;
    never_opened.trace("dropped\n");
    never_opened.report_success(1, 0, "7:00:00", "111", "s");
    never_opened.close();
    EXPECT_FALSE(exists("./sms.log"));
    EXPECT_FALSE(exists("./log"));

    EngineLogs logs;
    logs.open("2004-5-6", "/dev/ttyS0");
    logs.report_success(1, 0, "7:00:00", "111", "s");
    logs.close();
    logs.close();
    logs.close_trace();
    logs.close_reports();
    logs.trace("dropped\n");
    logs.report_success(1, 1, "7:00:01", "111", "s");
    EXPECT_EQ(file_bytes(succ), "1.0,7:00:00   111    s\r\r\n");
    EXPECT_EQ(file_bytes("./sms.log"), "com=.../dev/ttyS0\r\n");
}

} // namespace
