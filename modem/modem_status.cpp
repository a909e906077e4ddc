#include "modem/modem_status.h"

#include <cstdio>

namespace {

struct Grade {
    int below; // rssi values under this take the grade
    const char* words;
    const char* words_zh;
};

// The usual bands of the received signal strength indicator.
constexpr Grade grades[] = {{10, "weak", "弱"}, {15, "fair", "一般"}, {20, "good", "好"}, {32, "excellent", "很好"}};

struct Registration {
    const char* words;
    const char* words_zh;
};

constexpr Registration registrations[] = {
    {"not registered, not searching", "未注册，没有搜索网络"},
    {"registered, home network", "已注册，本地网络"},
    {"not registered, searching", "未注册，正在搜索网络"},
    {"registration denied", "注册被拒绝"},
    {"unknown", "未知"},
    {"registered, roaming", "已注册，漫游"},
};

// The text after `prefix` on the answer's line that has it, or nullopt.
std::optional<std::string> after(const std::string& answer, const char* prefix) {
    std::size_t at = answer.find(prefix);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    at += std::char_traits<char>::length(prefix);
    std::size_t end = answer.find_first_of("\r\n", at);
    return answer.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

const Registration& registration_of(const ModemRegistration& registration) {
    int stat = registration.stat;
    return registrations[stat >= 0 && stat <= 5 ? stat : 4];
}

} // namespace

std::optional<ModemSignal> parse_signal(const std::string& answer) {
    std::optional<std::string> fields = after(answer, "+CSQ:");
    ModemSignal signal;
    if (!fields || std::sscanf(fields->c_str(), " %d , %d", &signal.rssi, &signal.ber) != 2) {
        return std::nullopt;
    }
    if (signal.rssi < 0 || (signal.rssi > 31 && signal.rssi != 99)) {
        return std::nullopt;
    }
    return signal;
}

std::optional<ModemRegistration> parse_registration(const std::string& answer) {
    std::optional<std::string> fields = after(answer, "+CREG:");
    int first = 0;
    int second = 0;
    if (!fields) {
        return std::nullopt;
    }
    // The answer to AT+CREG? starts with the presentation setting; an announcement has the state alone.
    int count = std::sscanf(fields->c_str(), " %d , %d", &first, &second);
    if (count < 1) {
        return std::nullopt;
    }
    int stat = count == 2 ? second : first;
    if (stat < 0 || stat > 5) {
        return std::nullopt;
    }
    return ModemRegistration{stat};
}

std::optional<int> signal_dbm(const ModemSignal& signal) {
    if (signal.rssi < 0 || signal.rssi > 31) {
        return std::nullopt;
    }
    return -113 + 2 * signal.rssi;
}

const char* signal_grade(const ModemSignal& signal) {
    if (!signal_dbm(signal)) {
        return "not known";
    }
    for (const Grade& grade : grades) {
        if (signal.rssi < grade.below) {
            return grade.words;
        }
    }
    return "excellent";
}

const char* signal_grade_zh(const ModemSignal& signal) {
    if (!signal_dbm(signal)) {
        return "未知";
    }
    for (const Grade& grade : grades) {
        if (signal.rssi < grade.below) {
            return grade.words_zh;
        }
    }
    return "很好";
}

const char* registration_words(const ModemRegistration& registration) {
    return registration_of(registration).words;
}

const char* registration_words_zh(const ModemRegistration& registration) {
    return registration_of(registration).words_zh;
}

bool registered(const ModemRegistration& registration) {
    return registration.stat == 1 || registration.stat == 5;
}
