#include "store/status_file.h"

#include "platform/text_file.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <utility>

namespace {

constexpr std::array<std::pair<EngineRunState, const char*>, 10> state_names{{
    {EngineRunState::Running, "running"},
    {EngineRunState::Paused, "paused"},
    {EngineRunState::LinkDown, "link-down"},
    {EngineRunState::Stopped, "stopped"},
    {EngineRunState::PortFailed, "port-failed"},
    {EngineRunState::SimLocked, "sim-locked"},
    {EngineRunState::SimMissing, "sim-missing"},
    {EngineRunState::NotRegistered, "not-registered"},
    {EngineRunState::Limited, "limited"},
    {EngineRunState::QuietHours, "quiet-hours"},
}};

// "a,b" as two numbers.
std::optional<std::pair<int, int>> number_pair(const std::string& text) {
    int a = 0;
    int b = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d,%d%c", &a, &b, &tail) != 2) {
        return std::nullopt;
    }
    return std::make_pair(a, b);
}

std::optional<long> number(const std::string& text) {
    long n = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ld%c", &n, &tail) != 1) {
        return std::nullopt;
    }
    return n;
}

void take_line(GatewayStatus& status, const std::string& key, const std::string& value) {
    if (key == "pid") {
        status.pid = number(value).value_or(0);
    } else if (key == "state") {
        status.state = run_state_from_name(value).value_or(EngineRunState::Stopped);
    } else if (key == "since") {
        status.since = value;
    } else if (key == "changed") {
        status.changed = value;
    } else if (key == "signal") {
        if (auto pair = number_pair(value)) {
            status.signal = ModemSignal{pair->first, pair->second};
        }
    } else if (key == "registration") {
        if (auto stat = number(value)) {
            status.registration = ModemRegistration{static_cast<int>(*stat)};
        }
    } else if (key == "modem_asked") {
        status.modem_asked = value;
    } else if (key == "modem_reset") {
        status.modem_reset = value;
    }
}

} // namespace

const char* run_state_name(EngineRunState state) {
    for (const auto& [s, name] : state_names) {
        if (s == state) {
            return name;
        }
    }
    return "stopped";
}

std::optional<EngineRunState> run_state_from_name(const std::string& name) {
    for (const auto& [state, n] : state_names) {
        if (name == n) {
            return state;
        }
    }
    return std::nullopt;
}

bool write_status_file(const GatewayStatus& status, const std::string& path) {
    std::ostringstream text;
    text << "pid=" << status.pid << "\nstate=" << run_state_name(status.state) << "\nsince=" << status.since
         << "\nchanged=" << status.changed << "\n";
    if (status.signal) {
        text << "signal=" << status.signal->rssi << "," << status.signal->ber << "\n";
    }
    if (status.registration) {
        text << "registration=" << status.registration->stat << "\n";
    }
    if (!status.modem_asked.empty()) {
        text << "modem_asked=" << status.modem_asked << "\n";
    }
    if (!status.modem_reset.empty()) {
        text << "modem_reset=" << status.modem_reset << "\n";
    }
    return replace_text_file_atomically(path, text.str());
}

std::optional<GatewayStatus> read_status_file(const std::string& path) {
    std::optional<std::string> text = read_text_file(path);
    if (!text) {
        return std::nullopt;
    }
    GatewayStatus status;
    std::istringstream lines(*text);
    std::string line;
    bool any = false;
    while (std::getline(lines, line)) {
        std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            take_line(status, line.substr(0, equals), line.substr(equals + 1));
            any = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    return status;
}
