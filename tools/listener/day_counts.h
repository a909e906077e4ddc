#pragma once

#include "engine_presence.h"

#include <nlohmann/json.hpp>

#include <string>

// The day's figures for GET /v1/status and GET /metrics, read from the spool's counters and the
// report logs named by the day.
struct DayCounts {
    std::string day;
    long queued = 0;    // {day}/new/acc: records queued
    long processed = 0; // {day}/send/acc: records the engine has handled
    long received = 0;  // {day}/recv/acc: messages received
    long sent = 0;      // lines of log/SUCC<day>.log: recipients sent
    long failed = 0;    // lines of log/FAIL<day>.log: recipients that failed
    EnginePresence engine;
};

DayCounts current_day_counts();

nlohmann::json status_json(const DayCounts& counts);

// The same figures in the Prometheus text exposition format.
std::string metrics_text(const DayCounts& counts);
