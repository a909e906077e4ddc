#pragma once

#include <string>

// One day's figures, read from the spool's counters and the report logs named by the day.
struct DayCounts {
    std::string day;
    long queued = 0;    // {day}/new/acc: records queued
    long processed = 0; // {day}/send/acc: records the engine has handled
    long received = 0;  // {day}/recv/acc: messages received
    long sent = 0;      // lines of log/SUCC<day>.log: recipients sent
    long failed = 0;    // lines of log/FAIL<day>.log: recipients that failed

    long pending() const { return queued > processed ? queued - processed : 0; }
};

DayCounts count_day(const std::string& day);
