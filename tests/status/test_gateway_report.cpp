#include "status/gateway_report.h"
#include "store/report_logs.h"
#include "store/spool.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <optional>
#include <string>

namespace {

// Every way a report tells whether an engine works here (the state, the JSON's "running", the metrics'
// gauge) gives the same answer, whatever the trace's age says once a status file is there.
struct RunningCase {
    const char* name;
    std::optional<EngineRunState> written; // the status file's state; none: no file
    bool process_alive;
    bool trace_recent;
    const char* state;
    bool running;
};

void PrintTo(const RunningCase& c, std::ostream* os) {
    *os << c.name;
}

class Running : public ::testing::TestWithParam<RunningCase> {};

TEST_P(Running, EveryAnswerAgrees) {
    const RunningCase& c = GetParam();
    GatewayReport report;
    if (c.written) {
        report.status = GatewayStatus{};
        report.status->pid = 4242;
        report.status->state = *c.written;
    }
    report.process_alive = c.process_alive;
    report.presence.running = c.trace_recent;
    report.presence.trace_age_seconds = c.trace_recent ? 1.0 : 600.0;

    EXPECT_EQ(engine_state(report), c.state);
    EXPECT_EQ(engine_running(report), c.running);
    EXPECT_EQ(report_json(report, ReportReader::Local)["engine"]["running"], c.running);
    std::string gauge = std::string("\nvmsms_engine_running ") + (c.running ? "1" : "0") + "\n";
    EXPECT_NE(report_metrics(report).find(gauge), std::string::npos) << report_metrics(report);
}

const RunningCase cases[] = {
    {"no_status_file_trace_recent", std::nullopt, false, true, "running", true},
    {"no_status_file_trace_old", std::nullopt, false, false, "not-started", false},
    {"running_and_alive", EngineRunState::Running, true, true, "running", true},
    {"paused_and_alive", EngineRunState::Paused, true, false, "paused", true},
    {"link_down_and_alive", EngineRunState::LinkDown, true, true, "link-down", true},
    {"running_but_process_gone_trace_recent", EngineRunState::Running, false, true, "gone", false},
    {"stopped_trace_still_recent", EngineRunState::Stopped, false, true, "stopped", false},
    {"port_failed_pid_reused", EngineRunState::PortFailed, true, true, "port-failed", false},
};

INSTANTIATE_TEST_SUITE_P(Report, Running, ::testing::ValuesIn(cases), CaseName());

class Headroom : public TempDirTest {};

// The limits set, what is used of each and when it frees, the quiet span and the opt-out list's size
// are in every form of the report; a directory without them shows none of it.
TEST_F(Headroom, EachLimitItsUseTheQuietSpanAndTheOptOutList) {
    EXPECT_FALSE(report_json(current_gateway_report(), ReportReader::Local).contains("limits"));
    EXPECT_EQ(report_text(current_gateway_report()).find("limit "), std::string::npos);

    LocalTime now = real_clock().now();
    int quiet_from = (now.hour * 60 + now.minute + 24 * 60 - 1) % (24 * 60);
    int quiet_to = (quiet_from + 10) % (24 * 60);
    char quiet[32];
    std::snprintf(quiet, sizeof quiet, "%02d:%02d-%02d:%02d", quiet_from / 60, quiet_from % 60, quiet_to / 60,
                  quiet_to % 60);
    put_file("server.txt", std::string("[SET]\r\nCOM=COM1\r\n[LIMITS]\r\nPER_MINUTE=10\r\nPER_DAY=300\r\nQUIET=") +
                               quiet + "\r\nJITTER_MS=2000-8000\r\n");
    long long t = seconds_of(now);
    put_file("limits.txt", "day " + spool_date(now) + " 12\r\nmonth " + month_key(now) + " 40\r\nrecent " +
                               std::to_string(t - 20) + " " + std::to_string(t - 5) + "\r\n");
    put_file("optout.txt", "+8613900000001 2026-12-11 TD\r\n+8613900000002 2026-12-11 manual\r\n");

    GatewayReport report = current_gateway_report();
    nlohmann::json json = report_json(report, ReportReader::Network);
    const nlohmann::json& minute = json["limits"]["counts"]["PER_MINUTE"];
    EXPECT_EQ(minute["limit"], 10);
    EXPECT_EQ(minute["used"], 2);
    EXPECT_EQ(minute["frees_at"], date_time_text(local_time_of(t - 20 + 60)));
    EXPECT_EQ(json["limits"]["counts"]["PER_DAY"]["used"], 12);
    EXPECT_FALSE(json["limits"]["counts"].contains("PER_HOUR"));
    EXPECT_EQ(json["limits"]["quiet"]["span"], quiet);
    EXPECT_EQ(json["limits"]["quiet"]["now"], true);
    EXPECT_EQ(json["limits"]["jitter_ms"], nlohmann::json::array({2000, 8000}));
    EXPECT_EQ(json["optout"]["numbers"], 2);

    std::string text = report_text(report);
    EXPECT_NE(text.find("limit       PER_MINUTE 2 of 10 (frees "), std::string::npos) << text;
    EXPECT_NE(text.find("limit       PER_DAY 12 of 300"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("quiet       ") + quiet + " (now: sending waits until "), std::string::npos)
        << text;
    EXPECT_NE(text.find("opt-out     2 numbers"), std::string::npos) << text;

    std::string metrics = report_metrics(report);
    for (const char* line : {"vmsms_limit{limit=\"PER_MINUTE\"} 10\n", "vmsms_limit_used{limit=\"PER_DAY\"} 12\n",
                             "vmsms_quiet_hours 1\n", "vmsms_optout_numbers 2\n"}) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
    }
}

class PoolReport : public TempDirTest {
protected:
    std::string day = spool_date(real_clock().now());
    // A report line as the engine of a pool writes it, CR CR LF on disk.
    static std::string line(int record, const std::string& modem) {
        std::string text = report_line_text(record, 1, "7:00:00", "13900000001", "hi");
        text.insert(text.size() - 2, modem.empty() ? "" : "   " + modem);
        return text.substr(0, text.size() - 2) + "\r\r\n";
    }
};

// Each modem of a pool is told with its state, its signal, its own report lines and its SIM's limits;
// a line that names no modem (or none that can be) counts for none.
TEST_F(PoolReport, EachModemWithItsStateFiguresAndLimits) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/ttyS1\r\n[MODEM2]\r\nCOM=/dev/ttyS2\r\n[MODEM3]\r\nCOM=/dev/ttyS3\r\n"
                           "PER_DAY=7\r\n[LIMITS]\r\nPER_DAY=300\r\n");
    std::filesystem::create_directories("log");
    put_file(report_log_path("SUCC", day), line(1, "MODEM1") + line(2, "MODEM2") + line(3, "MODEM1") + line(4, "") +
                                               line(5, "MODEM9") + line(6, "MODEM2x"));
    put_file(report_log_path("FAIL", day), line(7, "MODEM3"));
    put_file("status.txt", "pid=" + std::to_string(::getpid()) +
                               "\nstate=running\nsignal=20,99\nregistration=1\n"
                               "modem_asked=2026-12-11 7:00:00\n");
    put_file("status-MODEM2.txt", "pid=999999999\nstate=running\n");
    LocalTime now = real_clock().now();
    put_file("limits-MODEM2.txt", "day " + day + " 5\r\nmonth " + month_key(now) + " 5\r\nrecent\r\n");

    GatewayReport report = current_gateway_report();
    nlohmann::json json = report_json(report, ReportReader::Network);
    ASSERT_EQ(json["modems"].size(), 3u) << json.dump();
    const nlohmann::json& modems = json["modems"];
    EXPECT_EQ(modems[0]["name"], "MODEM1");
    EXPECT_EQ(modems[0]["state"], "running");
    EXPECT_EQ(modems[0]["modem"]["signal"]["rssi"], 20);
    EXPECT_EQ(modems[0]["sent"], 2);
    EXPECT_EQ(modems[1]["state"], "gone");
    EXPECT_EQ(modems[1]["sent"], 1);
    EXPECT_EQ(modems[1]["limits"]["PER_DAY"]["used"], 5);
    EXPECT_EQ(modems[0]["limits"]["PER_DAY"]["used"], 0);
    // MODEM3's SIM has a limit of its own; the others take [LIMITS]'s.
    EXPECT_EQ(modems[0]["limits"]["PER_DAY"]["limit"], 300);
    EXPECT_EQ(modems[2]["limits"]["PER_DAY"]["limit"], 7);
    EXPECT_EQ(modems[2]["state"], "not-started");
    EXPECT_EQ(modems[2]["sent"], 0);
    EXPECT_EQ(modems[2]["failed"], 1);
    EXPECT_EQ(json["sent"], 6) << "the day's figure still counts every line";

    std::string text = report_text(report);
    EXPECT_NE(text.find("MODEM1      running, 2 sent, 0 failed; signal 20 ("), std::string::npos) << text;
    EXPECT_NE(text.find("MODEM2      gone, 1 sent, 0 failed; modem not asked\n  limit     PER_DAY 5 of 300 (frees "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("MODEM3      not-started, 0 sent, 1 failed"), std::string::npos) << text;

    std::string metrics = report_metrics(report);
    for (const char* gauge :
         {"vmsms_pool_recipients_sent{modem=\"MODEM1\"} 2\n", "vmsms_pool_recipients_failed{modem=\"MODEM3\"} 1\n",
          "vmsms_pool_modem_running{modem=\"MODEM2\"} 0\n", "vmsms_pool_modem_signal_rssi{modem=\"MODEM1\"} 20\n",
          "vmsms_pool_limit_used{modem=\"MODEM2\",limit=\"PER_DAY\"} 5\n"}) {
        EXPECT_NE(metrics.find(gauge), std::string::npos) << gauge << metrics;
    }
}

// With one modem set, nothing of a pool shows, whatever the report lines end in.
TEST_F(PoolReport, OneModemShowsNoModems) {
    put_file("server.txt", "[SET]\r\nCOM=/dev/ttyS1\r\n");
    std::filesystem::create_directories("log");
    put_file(report_log_path("SUCC", day), line(1, "MODEM2"));
    GatewayReport report = current_gateway_report();
    EXPECT_TRUE(report.modems.empty());
    EXPECT_FALSE(report_json(report, ReportReader::Local).contains("modems"));
    EXPECT_EQ(report_metrics(report).find("vmsms_pool_"), std::string::npos);
    EXPECT_EQ(report_text(report).find("MODEM"), std::string::npos);
}

} // namespace
