#include "status/modem_reports.h"

#include "engine/pool/pool_seat.h"
#include "store/modem_pool_settings.h"
#include "store/report_logs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/types.h>

namespace {

// Enough of a line's end to hold "   MODEMn" and then some.
constexpr std::size_t kept_tail = 16;

// The modem a report line names in its last field ("...   MODEM2"), or nothing.
std::string modem_of_tail(const std::string& tail) {
    const std::string mark = "   MODEM";
    if (tail.size() < mark.size() + 1) {
        return {};
    }
    std::size_t at = tail.size() - mark.size() - 1;
    char digit = tail.back();
    if (tail.compare(at, mark.size(), mark) != 0 || digit < '1' || digit > '0' + most_modems) {
        return {};
    }
    return tail.substr(at + 3);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The status file of a modem and whether its process is there.
void read_modem_status(ModemReport& modem, bool first) {
    modem.status = read_status_file(first ? std::string(status_file_path) : pool_status_path(modem.name));
    modem.process_alive = modem.status && engine_process_exists(modem.status->pid);
}

// Each SIM's counts against its own limits: [LIMITS], or what its modem's section sets instead.
void read_modem_limits(ModemReport& modem, const std::string& section, const LocalTime& now) {
    ModemSectionScope scope(section);
    SendLimits limits = read_send_limits();
    if (!limits.counts_anything()) {
        return;
    }
    LimitCounts counts = read_limit_counts(modem.name).value_or(LimitCounts{});
    std::size_t distinct = limits.recipients_per_month ? read_month_recipients(month_key(now), modem.name).size() : 0;
    modem.limit_uses = limit_uses(limits, counts, now, distinct);
}

} // namespace

bool engine_process_exists(long pid) {
    if (pid <= 0) {
        return false;
    }
    // EPERM: there, but another user's (the service runs as its own user).
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::map<std::string, long> report_lines_by_modem(const std::string& path) {
    std::map<std::string, long> lines;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return lines;
    }
    // Read in blocks, keeping only each line's last characters: a log of any size, or one whose line
    // never ends, costs no more memory than this.
    char block[64 * 1024];
    std::string tail;
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            char c = block[i];
            if (c == '\n') {
                if (std::string modem = modem_of_tail(tail); !modem.empty()) {
                    ++lines[modem];
                }
                tail.clear();
            } else if (c != '\r') {
                if (tail.size() == kept_tail) {
                    tail.erase(0, 1);
                }
                tail += c;
            }
        }
    }
    return lines;
}

std::vector<ModemReport> read_modem_reports(const std::string& day, const LocalTime& now) {
    std::vector<ModemReport> modems;
    ModemPoolSettings pool = read_modem_pool_settings();
    if (!pool.pooled()) {
        return modems;
    }
    std::map<std::string, long> sent = report_lines_by_modem(report_log_path("SUCC", day));
    std::map<std::string, long> failed = report_lines_by_modem(report_log_path("FAIL", day));
    for (const PoolModem& set : pool.modems) {
        ModemReport& modem = modems.emplace_back();
        modem.name = set.name;
        modem.sent = sent[set.name];
        modem.failed = failed[set.name];
        read_modem_status(modem, modems.size() == 1);
        read_modem_limits(modem, set.section, now);
    }
    return modems;
}
