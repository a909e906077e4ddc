#include "status/gateway_report.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

} // namespace
