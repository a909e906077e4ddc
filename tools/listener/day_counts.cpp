#include "day_counts.h"

#include "platform/clock.h"
#include "report_logs.h"
#include "store/spool.h"

#include <algorithm>

DayCounts current_day_counts() {
    DayCounts counts;
    counts.day = spool_date(real_clock().now());
    counts.queued = read_counter(counts.day, SpoolDir::New);
    counts.processed = read_counter(counts.day, SpoolDir::Send);
    counts.received = read_counter(counts.day, SpoolDir::Recv);
    counts.sent = count_report_lines(report_log_path("SUCC", counts.day));
    counts.failed = count_report_lines(report_log_path("FAIL", counts.day));
    counts.engine = engine_presence();
    return counts;
}

nlohmann::json status_json(const DayCounts& counts) {
    nlohmann::json engine = {{"running", counts.engine.running}, {"trace_held_open", counts.engine.trace_held_open}};
    engine["trace_age_seconds"] =
        counts.engine.trace_age_seconds ? nlohmann::json(*counts.engine.trace_age_seconds) : nlohmann::json();
    return {{"day", counts.day},
            {"engine", engine},
            {"queued", counts.queued},
            {"processed", counts.processed},
            {"pending", std::max(0L, counts.queued - counts.processed)},
            {"received", counts.received},
            {"sent", counts.sent},
            {"failed", counts.failed}};
}

std::string metrics_text(const DayCounts& counts) {
    std::string text;
    auto gauge = [&](const char* name, const char* help, const nlohmann::json& value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + " " +
                value.dump() + "\n";
    };
    gauge("vmsms_engine_running", "1 when an engine works in this directory (sms.log held open or recently written).",
          counts.engine.running ? 1 : 0);
    if (counts.engine.trace_age_seconds) {
        gauge("vmsms_engine_trace_age_seconds", "Seconds since sms.log last changed.",
              *counts.engine.trace_age_seconds);
    }
    gauge("vmsms_records_queued", "Records queued today (new/acc).", counts.queued);
    gauge("vmsms_records_processed", "Records the engine has handled today (send/acc).", counts.processed);
    gauge("vmsms_records_pending", "Records queued today and not yet handled.",
          std::max(0L, counts.queued - counts.processed));
    gauge("vmsms_messages_received", "Messages received today (recv/acc).", counts.received);
    gauge("vmsms_recipients_sent", "Lines of today's success report log.", counts.sent);
    gauge("vmsms_recipients_failed", "Lines of today's failure report log.", counts.failed);
    return text;
}
