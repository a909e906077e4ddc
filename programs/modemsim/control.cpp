#include "modemsim/control.h"

#include "modemsim/control_deliver.h"
#include "modemsim/control_faults.h"
#include "modemsim/control_sim.h"
#include "modemsim/control_storage.h"
#include "modemsim/message_assembly.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

ControlReply refused(std::string why) {
    ControlReply reply;
    reply.ok = false;
    reply.error = std::move(why);
    return reply;
}

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

ControlReply layout(const std::vector<std::string>& words, Modem& modem) {
    if (words.size() != 2 || (words[1] != "usual" && words[1] != "blank-line")) {
        return refused("layout takes usual or blank-line");
    }
    modem.set_blank_line_listing(words[1] == "blank-line");
    return {};
}

ControlReply release(const std::vector<std::string>& words, Modem& modem) {
    if (words.size() != 2 || (words[1] != "keep" && words[1] != "clear")) {
        return refused("release takes keep or clear");
    }
    modem.set_keep_input_on_release(words[1] == "keep");
    return {};
}

ControlReply latency(const std::vector<std::string>& words, LineControl& line) {
    auto latency = words.size() == 2 ? parse_submit_latency(words[1]) : std::nullopt;
    if (!latency) {
        return refused("latency takes the milliseconds a submission takes, 0 to 60000");
    }
    line.set_submit_latency(*latency);
    return {};
}

struct FateName {
    const char* name;
    ReportFate fate;
};

constexpr FateName fates[] = {
    {"delivered", ReportFate::Delivered},
    {"failed", ReportFate::Failed},
    {"none", ReportFate::None},
};

const char* fate_name(ReportFate fate) {
    for (const FateName& entry : fates) {
        if (entry.fate == fate) {
            return entry.name;
        }
    }
    return "delivered";
}

ControlReply reports(const std::vector<std::string>& words, Modem& modem) {
    for (const FateName& entry : fates) {
        if (words.size() == 2 && words[1] == entry.name) {
            modem.set_report_fate(entry.fate);
            return {};
        }
    }
    return refused("reports takes delivered, failed or none");
}

ControlReply network(const std::vector<std::string>& words, Modem& modem) {
    auto number = [&](std::size_t i, int highest) -> std::optional<int> {
        if (words.size() != 3 || !all_digits(words[i]) || words[i].size() > 2) {
            return std::nullopt;
        }
        int n = std::stoi(words[i]);
        return n <= highest ? std::optional<int>(n) : std::nullopt;
    };
    std::optional<int> rssi = number(1, 99);
    std::optional<int> registration = number(2, 5);
    if (!rssi || (*rssi > 31 && *rssi != 99) || !registration) {
        return refused("network takes the signal quality (0 to 31, or 99) and the registration state (0 to 5)");
    }
    modem.set_network(*rssi, *registration);
    return {};
}

ControlReply report_delay(const std::vector<std::string>& words, LineControl& line) {
    auto delay = words.size() == 2 ? parse_submit_latency(words[1]) : std::nullopt;
    if (!delay) {
        return refused("report-delay takes the milliseconds from a submission's answer to its report, 0 to 60000");
    }
    line.set_report_delay(*delay);
    return {};
}

ControlReply stored(Modem& modem) {
    ControlReply reply;
    // The memory is named when there is more than one.
    bool named = modem.store().names().size() > 1;
    for (const StoredMessage& message : modem.store().messages()) {
        reply.lines.push_back((named ? "memory=" + message.memory + " " : "") +
                              "index=" + std::to_string(message.index) + " stat=" + std::to_string(message.stat) +
                              " length=" + std::to_string(tpdu_octets(message.pdu)) + " pdu=" + message.pdu + " " +
                              message.description);
    }
    return reply;
}

ControlReply status(Modem& modem, SubmissionLog& log, const LineControl& line) {
    ControlReply reply;
    reply.lines = {
        std::string("fault=") + fault_name(modem.fault()) + " failing=" + std::to_string(modem.failing_sends()) +
            " layout=" + (modem.blank_line_listing() ? "blank-line" : "usual") + " release=" +
            (modem.keeps_input_on_release() ? "keep" : "clear") + " stored=" + std::to_string(modem.store().used()) +
            "/" + std::to_string(modem.store().capacity()) + " submissions=" + std::to_string(log.lines().size()) +
            (line.plugged() ? " line=plugged device=" + line.device() : " line=unplugged"),
        "latency=" + std::to_string(line.submit_latency().count()),
        "cnmi=" + (modem.offers_indications() ? modem.indication_settings() : "unsupported"),
        std::string("reports=") + fate_name(modem.report_fate()) + " report-delay=" +
            std::to_string(line.report_delay().count()) + " waiting=" + std::to_string(line.reports_waiting()),
        sim_status_line(modem),
        storage_status_line(modem)};
    return reply;
}

} // namespace

std::optional<std::chrono::milliseconds> parse_submit_latency(std::string_view text) {
    if (!all_digits(text) || text.size() > 5) {
        return std::nullopt;
    }
    long ms = std::stol(std::string(text));
    return ms <= 60000 ? std::optional<std::chrono::milliseconds>(ms) : std::nullopt;
}

ControlReply run_control(const std::vector<std::string>& words, Modem& modem, SubmissionLog& log, LineControl& line) {
    const std::string command = words.empty() ? "" : words[0];
    if (command == "deliver") {
        return deliver_command(words, modem, line);
    }
    if (command == "fault") {
        return fault_command(words, modem, line);
    }
    if (command == "layout") {
        return layout(words, modem);
    }
    if (command == "latency") {
        return latency(words, line);
    }
    if (command == "release") {
        return release(words, modem);
    }
    if (command == "reports") {
        return reports(words, modem);
    }
    if (command == "network") {
        return network(words, modem);
    }
    if (command == "report-delay") {
        return report_delay(words, line);
    }
    if (command == "sim") {
        return sim_command(words, modem);
    }
    if (command == "identity") {
        return identity_command(words, modem);
    }
    if (command == "storage") {
        return storage_command(words, modem, line);
    }
    if (words.size() != 1) {
        return refused(command.empty() ? "empty command" : "unknown command or extra words: " + command);
    }
    ControlReply reply;
    if (command == "sent") {
        reply.lines = log.lines();
    } else if (command == "messages") {
        reply.lines = assembled_messages(log.submissions());
    } else if (command == "destinations") {
        reply.lines = destination_lines(log.submissions());
    } else if (command == "stored") {
        reply = stored(modem);
    } else if (command == "status") {
        reply = status(modem, log, line);
    } else if (command == "clear") {
        modem.store().clear();
        log.clear();
    } else if (command == "quit") {
        reply.quit = true;
    } else {
        reply = refused("unknown command: " + command);
    }
    return reply;
}
