#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// The engine's report logs under ./log: SUCC<date>.log and FAIL<date>.log, where <date> is the day the
// engine started (it keeps writing to them past midnight). Lines are "<record>.<index>,<time>   <phone>
// <content>" written in text mode, so they end in CR CR LF on disk.

struct ReportLine {
    long record = 0;
    long index = 0;
    std::string time;  // the time text, without a date
    std::string phone; // GBK as logged
};

// "SUCC" or "FAIL" for log/<kind><day>.log.
std::string report_log_path(const std::string& kind, const std::string& day);

// The line the engine writes for a recipient, ending in CR LF (which text mode writes as CR CR LF).
std::string report_line_text(int record, int index, const std::string& time_text, const std::string& phone,
                             const std::string& content);

// One report line, or nullopt when it is not one.
std::optional<ReportLine> parse_report_line(const std::string& line);

// The report lines of one log (none when it cannot be read).
std::vector<ReportLine> read_report_log(const std::string& path);

// How many lines a log holds (0 when it is missing).
long count_report_lines(const std::string& path);

// The days of the logs of the kinds in ./log that are not after `day`, each once, newest first.
std::vector<std::string> report_log_days_up_to(std::initializer_list<std::string> kinds, const std::string& day);
