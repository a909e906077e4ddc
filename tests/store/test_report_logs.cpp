#include "store/report_logs.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

// What the engine writes is what every reader of the logs takes back.
TEST(ReportLine, WrittenLinesReadBack) {
    std::string line = report_line_text(12, 3, "6:08:28", "13900000002", "\x02hello   ");
    EXPECT_EQ(line, "12.3,6:08:28   13900000002    \x02hello   \r\n");
    std::optional<ReportLine> parsed = parse_report_line(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->record, 12);
    EXPECT_EQ(parsed->index, 3);
    EXPECT_EQ(parsed->time, "6:08:28");
    EXPECT_EQ(parsed->phone, "13900000002");
}

TEST(ReportLine, LinesThatAreNoReportLinesAreSkipped) {
    for (const char* text : {"", "hello", "1,2.3   x    y", "a.1,6:00:00   139    x", "1.b,6:00:00   139    x",
                             "1.2,6:00:00"}) {
        EXPECT_FALSE(parse_report_line(text)) << text;
    }
}

class ReportLog : public TempDirTest {};

TEST_F(ReportLog, ALogOnDiskGivesItsLinesInOrder) {
    put_file(report_log_path("SUCC", "2026-12-11"), report_line_text(1, 0, "6:00:00", "13900000001", "a\r") +
                                                        "noise\r\n" +
                                                        report_line_text(2, 1, "6:00:01", "13900000002", "b\r"));
    std::vector<ReportLine> lines = read_report_log("log/SUCC2026-12-11.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].phone, "13900000001");
    EXPECT_EQ(lines[1].record, 2);
    EXPECT_EQ(count_report_lines("log/SUCC2026-12-11.log"), 3);
}

} // namespace
