#pragma once

#include "status/modem_reports.h"
#include "status/webhook_progress.h"
#include "store/day_counts.h"
#include "store/db/outbox.h"
#include "store/engine_presence.h"
#include "store/limit_counts.h"
#include "store/send_limits.h"
#include "store/status_file.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// What `vmsmsd --status` and the network intake's status and metrics tell about the gateway of the
// working directory: today's figures, whether its engine works and in what state, and the modem's
// signal and registration as the engine last asked them.
struct GatewayReport {
    DayCounts today;
    EnginePresence presence;
    std::optional<GatewayStatus> status; // ./status.txt, when an engine ever wrote one here
    bool process_alive = false;          // the process named in it is still there
    // The shared queue, when server.txt names its database: its figures, or why they could not be read.
    bool shared_on = false;
    std::string shared_gateway; // this directory's name in it
    std::optional<SharedQueueStatus> shared;
    std::string shared_error; // why not, with the database's address but never its password
    // server.txt's [LIMITS], what is used of each limit as of `now`, and the quiet span; the size of the
    // opt-out list when there is one (nothing: no list; -1: a list that cannot be read).
    SendLimits limits;
    std::vector<LimitUse> limit_uses;
    std::optional<long long> quiet_until; // in the quiet span now: when it ends
    LocalTime now;
    std::optional<long> optout_numbers;
    // How far each webhook's receiver has come ([WEBHOOKS]).
    std::vector<WebhookProgress> webhooks;
    // With more than one modem set ([MODEM2]..): each modem, MODEM1 first. MODEM1's status is `status`
    // too, and `limit_uses` are its SIM's.
    std::vector<ModemReport> modems;
};

GatewayReport current_gateway_report();

// "running", "paused", "link-down", "stopped", "port-failed", "sim-locked", "sim-missing",
// "not-registered", "limited", "quiet-hours"; "gone" when
// the engine's process ended without saying so (killed, crashed); "not-started" when no engine ever
// wrote a status here.
std::string engine_state(const GatewayReport& report);
// The same for one modem of a pool: "not-started" when its engine never wrote its status file.
std::string modem_state(const ModemReport& modem);

// The one answer to "is an engine at work here", which every report gives: with a status file, its
// engine's state is not a final one and its process is still there; without one (an engine that never
// wrote it), the trace is held open or was written recently (store/engine_presence.h).
bool engine_running(const GatewayReport& report);

// Who reads a report. Over the network a report names no part of the database's connection string (a
// failure is only "unavailable") and no directory of the machine: a gateway known by its default name
// (host name and directory) is named by a digest of it. The gateway's own machine sees it all, except the
// password.
enum class ReportReader { Network, Local };

nlohmann::json report_json(const GatewayReport& report, ReportReader reader = ReportReader::Network);
// The same in lines for a person on the machine: English words, one item a line.
std::string report_text(const GatewayReport& report);
// The same as Prometheus gauges, for the network.
std::string report_metrics(const GatewayReport& report);
