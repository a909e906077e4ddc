#include "status/gateway_report.h"
#include "support/param_name.h"

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

} // namespace
