#include "store/day_counts.h"

#include "store/report_logs.h"
#include "store/spool.h"

DayCounts count_day(const std::string& day) {
    DayCounts counts;
    counts.day = day;
    counts.queued = read_counter(day, SpoolDir::New);
    counts.processed = read_counter(day, SpoolDir::Send);
    counts.received = read_counter(day, SpoolDir::Recv);
    counts.sent = count_report_lines(report_log_path("SUCC", day));
    counts.failed = count_report_lines(report_log_path("FAIL", day));
    return counts;
}
