#pragma once

#include "store/status_file.h"

#include <optional>
#include <string>

// The modem's signal quality ("+CSQ: <rssi>,<ber>") and network registration ("+CREG: [<n>,]<stat>
// [,<lac>,<ci>]") read from its answers, and said in words.

std::optional<ModemSignal> parse_signal(const std::string& answer);
std::optional<ModemRegistration> parse_registration(const std::string& answer);

// The received power in dBm (-113 for 0, -51 for 31), or nullopt when the modem does not know it.
std::optional<int> signal_dbm(const ModemSignal& signal);

// "weak", "fair", "good", "excellent" or "not known" (and 弱, 一般, 好, 很好, 未知).
const char* signal_grade(const ModemSignal& signal);
const char* signal_grade_zh(const ModemSignal& signal);

// "registered, home network" and so on (and 已注册，本地网络 ...).
const char* registration_words(const ModemRegistration& registration);
const char* registration_words_zh(const ModemRegistration& registration);

// Whether the modem can send and receive now: registered at home or roaming.
bool registered(const ModemRegistration& registration);
