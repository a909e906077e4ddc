#pragma once

#include "store/limit_counts.h"
#include "store/status_file.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// Each modem of a pool (server.txt's [SET] and [MODEM2]..[MODEM8]) as the status tells it: its
// engine's status file, and the lines of the day's report logs that end in its name.
struct ModemReport {
    std::string name; // "MODEM1" .. "MODEM8"
    std::optional<GatewayStatus> status;
    bool process_alive = false; // the process named in its status file is still there
    long sent = 0;
    long failed = 0;
    std::vector<LimitUse> limit_uses; // what is used of its SIM's counted limits
};

// How many lines of the report log at `path` end in each modem's name ("...   MODEM2"); lines without
// one are not counted. A missing log counts nothing.
std::map<std::string, long> report_lines_by_modem(const std::string& path);

// Whether the process `pid` (an engine's, from its status file) is still there.
bool engine_process_exists(long pid);

// The modems of the pool of this directory with `day`'s figures, MODEM1 first; nothing when
// server.txt sets one modem only.
std::vector<ModemReport> read_modem_reports(const std::string& day, const LocalTime& now);
