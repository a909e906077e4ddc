#include "gateway_report.h"

#include "modem/modem_status.h"
#include "platform/clock.h"
#include "store/db/db_settings.h"
#include "store/optout_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

namespace {

bool final_state(EngineRunState state) {
    return state == EngineRunState::Stopped || state == EngineRunState::PortFailed ||
           state == EngineRunState::SimLocked || state == EngineRunState::SimMissing;
}

nlohmann::json nullable(const std::string& text) {
    return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

nlohmann::json modem_json(const std::optional<GatewayStatus>& written) {
    nlohmann::json modem = {
        {"signal", nullptr}, {"registration", nullptr}, {"asked", nullptr}, {"last_reset", nullptr}};
    if (!written) {
        return modem;
    }
    const GatewayStatus& status = *written;
    if (status.signal) {
        std::optional<int> dbm = signal_dbm(*status.signal);
        modem["signal"] = {{"rssi", status.signal->rssi},
                           {"ber", status.signal->ber},
                           {"dbm", dbm ? nlohmann::json(*dbm) : nlohmann::json()},
                           {"grade", signal_grade(*status.signal)}};
    }
    if (status.registration) {
        modem["registration"] = {{"stat", status.registration->stat},
                                 {"registered", registered(*status.registration)},
                                 {"words", registration_words(*status.registration)}};
    }
    modem["asked"] = nullable(status.modem_asked);
    modem["last_reset"] = nullable(status.modem_reset);
    return modem;
}

std::string signal_line(const GatewayStatus& status) {
    if (!status.signal) {
        return "no answer to AT+CSQ";
    }
    std::string line = std::to_string(status.signal->rssi);
    if (std::optional<int> dbm = signal_dbm(*status.signal)) {
        line += " (" + std::to_string(*dbm) + " dBm, " + signal_grade(*status.signal) + ")";
    } else {
        line += " (not known)";
    }
    return line;
}

nlohmann::json figures_json(const QueueFigures& f) {
    return {
        {"pending", f.pending}, {"leased", f.leased}, {"expired", f.expired}, {"sent", f.sent}, {"failed", f.failed}};
}

void read_shared_queue(GatewayReport& report) {
    DbSettings settings = read_db_settings();
    report.shared_on = settings.on();
    report.shared_gateway = settings.gateway;
    if (!report.shared_on) {
        return;
    }
    std::unique_ptr<PgConnection> db = PgConnection::open(settings.dsn, 5);
    if (db->ok()) {
        report.shared = shared_queue_status(*db);
    }
    if (!report.shared) {
        report.shared_error = "cannot read the shared queue at " + dsn_for_display(settings.dsn) + ": " + db->error();
    }
}

// A gateway's name as the network may see it: a default name ("<host>:<directory>") tells where the
// gateway's files lie, so it goes as "gateway-" and a digest of it (FNV-1a: the same name always gives
// the same label, and the labels of a queue's gateways differ).
std::string network_gateway_name(const std::string& name) {
    if (name.find('/') == std::string::npos) {
        return name;
    }
    std::uint32_t digest = 2166136261u;
    for (unsigned char c : name) {
        digest = (digest ^ c) * 16777619u;
    }
    char label[32];
    std::snprintf(label, sizeof label, "gateway-%08x", static_cast<unsigned>(digest));
    return label;
}

std::string gateway_name_for(ReportReader reader, const std::string& name) {
    return reader == ReportReader::Network ? network_gateway_name(name) : name;
}

nlohmann::json shared_json(const GatewayReport& report, ReportReader reader) {
    if (!report.shared_on) {
        return nullptr;
    }
    std::string gateway = gateway_name_for(reader, report.shared_gateway);
    if (!report.shared) {
        return {{"gateway", gateway},
                {"error", reader == ReportReader::Network ? "the shared queue is unavailable" : report.shared_error}};
    }
    nlohmann::json json = figures_json(report.shared->all);
    json["gateway"] = gateway;
    json["received"] = report.shared->received;
    nlohmann::json gateways = nlohmann::json::object();
    for (const auto& [name, figures] : report.shared->per_gateway) {
        gateways[gateway_name_for(reader, name)] = figures_json(figures);
    }
    json["gateways"] = gateways;
    return json;
}

std::string figures_text(const QueueFigures& f) {
    char line[256];
    std::snprintf(line, sizeof line, "%lld pending, %lld leased (%lld expired), %lld sent, %lld failed", f.pending,
                  f.leased + f.expired, f.expired, f.sent, f.failed);
    return line;
}

std::string shared_text(const GatewayReport& report) {
    if (!report.shared_on) {
        return {};
    }
    if (!report.shared) {
        return "shared      " + report.shared_error + "\n";
    }
    std::string text = "shared      " + figures_text(report.shared->all) + "; " +
                       std::to_string(report.shared->received) + " received (this gateway: " + report.shared_gateway +
                       ")\n";
    for (const auto& [name, figures] : report.shared->per_gateway) {
        text += "  " + name + ": " + figures_text(figures) + "\n";
    }
    return text;
}

// The limits and what is used of them, the quiet span, and the opt-out list's size.
void read_headroom(GatewayReport& report) {
    report.now = real_clock().now();
    report.limits = read_send_limits();
    if (report.limits.counts_anything()) {
        LimitCounts counts = read_limit_counts().value_or(LimitCounts{});
        std::size_t distinct =
            report.limits.recipients_per_month ? read_month_recipients(month_key(report.now)).size() : 0;
        report.limit_uses = limit_uses(report.limits, counts, report.now, distinct);
    }
    if (std::optional<LimitHold> quiet = quiet_hold(report.limits, report.now)) {
        report.quiet_until = quiet->until;
    }
    struct stat st {};
    if (::stat(optout_path, &st) == 0) {
        std::optional<OptOutList> list = read_optout_list();
        report.optout_numbers = list ? static_cast<long>(list->numbers.size()) : -1L;
    }
}

std::string time_of(long long seconds) {
    return date_time_text(local_time_of(seconds));
}

nlohmann::json counts_json(const std::vector<LimitUse>& uses) {
    nlohmann::json limits = nlohmann::json::object();
    for (const LimitUse& use : uses) {
        limits[use.limit] = {{"limit", use.value},
                             {"used", use.used},
                             {"frees_at", use.frees_at ? nlohmann::json(time_of(*use.frees_at)) : nlohmann::json()}};
    }
    return limits;
}

nlohmann::json limits_json(const GatewayReport& report) {
    nlohmann::json limits = counts_json(report.limit_uses);
    const SendLimits& set = report.limits;
    nlohmann::json quiet;
    if (set.quiet) {
        quiet = {{"span", set.quiet->text},
                 {"now", report.quiet_until.has_value()},
                 {"ends_at", report.quiet_until ? nlohmann::json(time_of(*report.quiet_until)) : nlohmann::json()},
                 {"replies_pass", set.quiet_replies}};
    }
    nlohmann::json jitter;
    if (set.jitter_ms) {
        jitter = {set.jitter_ms->first, set.jitter_ms->second};
    }
    return {{"counts", limits}, {"quiet", quiet}, {"jitter_ms", jitter}};
}

std::string limit_lines(const std::vector<LimitUse>& uses, const std::string& indent) {
    std::string text;
    for (const LimitUse& use : uses) {
        text += indent + use.limit + " " + std::to_string(use.used) + " of " + std::to_string(use.value) +
                (use.frees_at ? " (frees " + time_of(*use.frees_at) + ")" : std::string()) + "\n";
    }
    return text;
}

// With a pool each SIM's limits are told under its modem (modems_text).
std::string limits_text(const GatewayReport& report) {
    std::string text = report.modems.empty() ? limit_lines(report.limit_uses, "limit       ") : std::string();
    if (report.limits.quiet) {
        text += "quiet       " + report.limits.quiet->text +
                (report.quiet_until ? " (now: sending waits until " + time_of(*report.quiet_until) + ")" : "") +
                (report.limits.quiet_replies ? "" : ", replies wait too") + "\n";
    }
    if (report.limits.jitter_ms) {
        text += "jitter      " + std::to_string(report.limits.jitter_ms->first) + "-" +
                std::to_string(report.limits.jitter_ms->second) + " ms between messages\n";
    }
    for (const WebhookProgress& w : report.webhooks) {
        text += "webhook     " + w.name + " " + w.url + ": through event " + std::to_string(w.through) + ", " +
                std::to_string(w.behind) + " behind, " + std::to_string(w.parked) + " parked\n";
    }
    if (report.optout_numbers) {
        text += "opt-out     " +
                (*report.optout_numbers < 0 ? std::string("optout.txt cannot be read")
                                            : std::to_string(*report.optout_numbers) + " numbers") +
                "\n";
    }
    return text;
}

bool modem_running(const ModemReport& modem) {
    return modem.status && !final_state(modem.status->state) && modem.process_alive;
}

nlohmann::json modems_json(const GatewayReport& report) {
    nlohmann::json modems = nlohmann::json::array();
    for (const ModemReport& m : report.modems) {
        nlohmann::json one = {{"name", m.name}, {"state", modem_state(m)}, {"running", modem_running(m)},
                              {"sent", m.sent}, {"failed", m.failed},      {"modem", modem_json(m.status)}};
        if (report.limits.counts_anything()) {
            one["limits"] = counts_json(m.limit_uses);
        }
        modems.push_back(one);
    }
    return modems;
}

// "MODEM2      running, 120 sent, 1 failed; signal 20 (-73 dBm, good); registered, home network", and
// the SIM's limits under it.
std::string modems_text(const GatewayReport& report) {
    std::string text;
    for (const ModemReport& m : report.modems) {
        std::string line = m.name;
        line.resize(std::max<std::size_t>(line.size() + 1, 12), ' ');
        line += modem_state(m) + ", " + std::to_string(m.sent) + " sent, " + std::to_string(m.failed) + " failed";
        if (!m.status || m.status->modem_asked.empty()) {
            line += "; modem not asked";
        } else {
            line += "; signal " + signal_line(*m.status) + "; " +
                    (m.status->registration ? registration_words(*m.status->registration) : "no answer to AT+CREG?");
        }
        text += line + "\n" + limit_lines(m.limit_uses, "  limit     ");
    }
    return text;
}

void modem_gauges(const GatewayReport& report, std::string& text) {
    if (report.modems.empty()) {
        return;
    }
    auto per_modem = [&](const char* name, const char* help, auto value_of) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
        for (const ModemReport& m : report.modems) {
            if (std::optional<long long> value = value_of(m)) {
                text += std::string(name) + "{modem=\"" + m.name + "\"} " + std::to_string(*value) + "\n";
            }
        }
    };
    using Value = std::optional<long long>;
    per_modem("vmsms_pool_modem_running", "1 when the engine of a modem of the pool works.",
              [](const ModemReport& m) { return Value(modem_running(m) ? 1 : 0); });
    per_modem("vmsms_pool_recipients_sent", "Lines of today's success report log that name the modem.",
              [](const ModemReport& m) { return Value(m.sent); });
    per_modem("vmsms_pool_recipients_failed", "Lines of today's failure report log that name the modem.",
              [](const ModemReport& m) { return Value(m.failed); });
    per_modem(
        "vmsms_pool_modem_signal_rssi", "A modem's last AT+CSQ signal quality (0..31, 99 not known).",
        [](const ModemReport& m) { return m.status && m.status->signal ? Value(m.status->signal->rssi) : Value(); });
    per_modem("vmsms_pool_modem_registered", "1 when a modem was last registered on a network (home or roaming).",
              [](const ModemReport& m) {
                  return m.status && m.status->registration ? Value(registered(*m.status->registration) ? 1 : 0)
                                                            : Value();
              });
    if (!report.limits.counts_anything()) {
        return;
    }
    text += "# HELP vmsms_pool_limit_used What is used of each sending limit of a modem's SIM now.\n"
            "# TYPE vmsms_pool_limit_used gauge\n";
    for (const ModemReport& m : report.modems) {
        for (const LimitUse& use : m.limit_uses) {
            text += "vmsms_pool_limit_used{modem=\"" + m.name + "\",limit=\"" + use.limit + "\"} " +
                    std::to_string(use.used) + "\n";
        }
    }
}

} // namespace

GatewayReport current_gateway_report() {
    GatewayReport report;
    read_headroom(report);
    report.webhooks = webhook_progress();
    read_shared_queue(report);
    report.today = count_day(spool_date(real_clock().now()));
    report.presence = engine_presence();
    report.status = read_status_file();
    report.process_alive = report.status && engine_process_exists(report.status->pid);
    report.modems = read_modem_reports(report.today.day, report.now);
    return report;
}

bool engine_running(const GatewayReport& report) {
    if (!report.status) {
        return report.presence.running;
    }
    return !final_state(report.status->state) && report.process_alive;
}

std::string modem_state(const ModemReport& modem) {
    if (!modem.status) {
        return "not-started";
    }
    if (final_state(modem.status->state) || modem_running(modem)) {
        return run_state_name(modem.status->state);
    }
    return "gone";
}

std::string engine_state(const GatewayReport& report) {
    if (!report.status) {
        return engine_running(report) ? "running" : "not-started";
    }
    if (final_state(report.status->state) || engine_running(report)) {
        return run_state_name(report.status->state);
    }
    return "gone";
}

nlohmann::json report_json(const GatewayReport& report, ReportReader reader) {
    const EnginePresence& presence = report.presence;
    nlohmann::json engine = {{"state", engine_state(report)},
                             {"running", engine_running(report)},
                             {"trace_held_open", presence.trace_held_open},
                             {"trace_age_seconds", presence.trace_age_seconds
                                                       ? nlohmann::json(*presence.trace_age_seconds)
                                                       : nlohmann::json()},
                             {"pid", report.status ? nlohmann::json(report.status->pid) : nlohmann::json()},
                             {"since", report.status ? nullable(report.status->since) : nlohmann::json()}};
    const DayCounts& day = report.today;
    nlohmann::json json = {{"day", day.day},
                           {"engine", engine},
                           {"queued", day.queued},
                           {"processed", day.processed},
                           {"pending", day.pending()},
                           {"received", day.received},
                           {"sent", day.sent},
                           {"failed", day.failed},
                           {"modem", modem_json(report.status)},
                           {"shared_queue", shared_json(report, reader)}};
    if (report.limits.any()) {
        json["limits"] = limits_json(report);
    }
    if (!report.webhooks.empty()) {
        nlohmann::json hooks = nlohmann::json::array();
        for (const WebhookProgress& w : report.webhooks) {
            nlohmann::json one = {{"name", w.name}, {"through", w.through}, {"behind", w.behind}, {"parked", w.parked}};
            if (reader == ReportReader::Local) {
                one["url"] = w.url; // an address may hold a receiver's own secret: only on this machine
            }
            hooks.push_back(one);
        }
        json["webhooks"] = hooks;
    }
    if (!report.modems.empty()) {
        json["modems"] = modems_json(report);
    }
    if (report.optout_numbers) {
        json["optout"] = {
            {"numbers", *report.optout_numbers >= 0 ? nlohmann::json(*report.optout_numbers) : nlohmann::json()},
            {"readable", *report.optout_numbers >= 0}};
    }
    return json;
}

std::string report_text(const GatewayReport& report) {
    const DayCounts& day = report.today;
    std::string state = engine_state(report);
    std::string engine = state;
    if (report.status && report.status->pid > 0 && state != "not-started") {
        engine += " (pid " + std::to_string(report.status->pid);
        if (!report.status->since.empty()) {
            engine += ", started " + report.status->since;
        }
        engine += ")";
    }
    char figures[512];
    std::snprintf(figures, sizeof figures,
                  "day         %s\nqueued      %ld records (%ld handled, %ld pending)\nsent        %ld recipients\n"
                  "failed      %ld recipients\nreceived    %ld messages\n",
                  day.day.c_str(), day.queued, day.processed, day.pending(), day.sent, day.failed, day.received);
    std::string text =
        "engine      " + engine + "\n" + figures + modems_text(report) + shared_text(report) + limits_text(report);
    if (report.status && !report.status->modem_reset.empty()) {
        text += "reset       " + report.status->modem_reset + " (the modem stopped answering)\n";
    }
    if (!report.status || report.status->modem_asked.empty()) {
        text += "modem       not asked (the engine asks AT+CSQ and AT+CREG? in responsive mode)\n";
        return text;
    }
    const GatewayStatus& status = *report.status;
    text += "signal      " + signal_line(status) + "\n";
    text += std::string("network     ") +
            (status.registration ? registration_words(*status.registration) : "no answer to AT+CREG?") + "\n";
    text += "asked       " + status.modem_asked + "\n";
    return text;
}

std::string report_metrics(const GatewayReport& report) {
    std::string text;
    auto gauge = [&](const char* name, const char* help, const nlohmann::json& value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + " " +
                value.dump() + "\n";
    };
    const EnginePresence& presence = report.presence;
    const DayCounts& day = report.today;
    gauge("vmsms_engine_running", "1 when an engine works in this directory.", engine_running(report) ? 1 : 0);
    if (presence.trace_age_seconds) {
        gauge("vmsms_engine_trace_age_seconds", "Seconds since sms.log last changed.", *presence.trace_age_seconds);
    }
    gauge("vmsms_records_queued", "Records queued today (new/acc).", day.queued);
    gauge("vmsms_records_processed", "Records the engine has handled today (send/acc).", day.processed);
    gauge("vmsms_records_pending", "Records queued today and not yet handled.", day.pending());
    gauge("vmsms_messages_received", "Messages received today (recv/acc).", day.received);
    gauge("vmsms_recipients_sent", "Lines of today's success report log.", day.sent);
    gauge("vmsms_recipients_failed", "Lines of today's failure report log.", day.failed);
    if (report.status && report.status->signal) {
        gauge("vmsms_modem_signal_rssi", "The modem's last AT+CSQ signal quality (0..31, 99 not known).",
              report.status->signal->rssi);
    }
    if (report.shared) {
        auto per_state = [&](const char* state, long long QueueFigures::*field) {
            text += std::string("vmsms_shared_outbox{state=\"") + state + "\"} " +
                    std::to_string(report.shared->all.*field) + "\n";
        };
        text += "# HELP vmsms_shared_outbox Recipients in the shared queue's outbox, by state.\n"
                "# TYPE vmsms_shared_outbox gauge\n";
        per_state("pending", &QueueFigures::pending);
        per_state("leased", &QueueFigures::leased);
        per_state("expired", &QueueFigures::expired);
        per_state("sent", &QueueFigures::sent);
        per_state("failed", &QueueFigures::failed);
        text += "# HELP vmsms_shared_sent Recipients each gateway of the shared queue has sent.\n"
                "# TYPE vmsms_shared_sent gauge\n";
        for (const auto& [name, figures] : report.shared->per_gateway) {
            text += "vmsms_shared_sent{gateway=" + nlohmann::json(network_gateway_name(name)).dump() + "} " +
                    std::to_string(figures.sent) + "\n";
        }
    }
    if (!report.limit_uses.empty()) {
        text += "# HELP vmsms_limit A sending limit of server.txt's [LIMITS].\n# TYPE vmsms_limit gauge\n";
        for (const LimitUse& use : report.limit_uses) {
            text += "vmsms_limit{limit=\"" + use.limit + "\"} " + std::to_string(use.value) + "\n";
        }
        text += "# HELP vmsms_limit_used What is used of each sending limit now.\n# TYPE vmsms_limit_used gauge\n";
        for (const LimitUse& use : report.limit_uses) {
            text += "vmsms_limit_used{limit=\"" + use.limit + "\"} " + std::to_string(use.used) + "\n";
        }
        text += "# HELP vmsms_limit_frees_in_seconds Seconds until what is used of a limit next drops.\n"
                "# TYPE vmsms_limit_frees_in_seconds gauge\n";
        for (const LimitUse& use : report.limit_uses) {
            if (use.frees_at) {
                text += "vmsms_limit_frees_in_seconds{limit=\"" + use.limit + "\"} " +
                        std::to_string(std::max(0LL, *use.frees_at - seconds_of(report.now))) + "\n";
            }
        }
    }
    if (report.limits.quiet) {
        gauge("vmsms_quiet_hours", "1 while the quiet span of [LIMITS] QUIET holds sending.",
              report.quiet_until ? 1 : 0);
    }
    if (!report.webhooks.empty()) {
        text += "# HELP vmsms_webhook_behind Events of the journal after the last one a receiver took or parked.\n"
                "# TYPE vmsms_webhook_behind gauge\n";
        for (const WebhookProgress& w : report.webhooks) {
            text += "vmsms_webhook_behind{receiver=\"" + w.name + "\"} " + std::to_string(w.behind) + "\n";
        }
        text += "# HELP vmsms_webhook_parked Events a receiver refused or did not take in time (parked).\n"
                "# TYPE vmsms_webhook_parked gauge\n";
        for (const WebhookProgress& w : report.webhooks) {
            text += "vmsms_webhook_parked{receiver=\"" + w.name + "\"} " + std::to_string(w.parked) + "\n";
        }
    }
    if (report.optout_numbers && *report.optout_numbers >= 0) {
        gauge("vmsms_optout_numbers", "Numbers on the opt-out list.", *report.optout_numbers);
    }
    if (report.status && report.status->registration) {
        gauge("vmsms_modem_registered", "1 when the modem was last registered on a network (home or roaming).",
              registered(*report.status->registration) ? 1 : 0);
    }
    modem_gauges(report, text);
    return text;
}
