#include "store/modem_pool_settings.h"

#include "platform/ini_file.h"
#include "store/settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <set>

namespace {

thread_local std::optional<std::string> modem_section;

constexpr std::array<std::string_view, 8> modem_keys{"COM", "RATE", "PIN", "SMSC", "INIT", "IMEI", "ICCID", "USBRESET"};
constexpr std::size_t most_route_prefix = 16;

std::string trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// RATE as the port takes it: digits only; missing is the default.
bool rate_taken(const std::string& rate) {
    return rate.empty() || all_digits(rate);
}

// MODEM2..MODEM8 that hold a COM, each with a port no earlier modem has.
void read_other_modems(const IniSnapshot& ini, ModemPoolSettings& pool) {
    std::set<std::string> ports{pool.modems.front().com};
    for (int n = 2; n <= most_modems; ++n) {
        std::string name = "MODEM" + std::to_string(n);
        if (!ini.section(name)) {
            continue;
        }
        std::string com = trimmed(ini.read(name, "COM", "", settings::com.size));
        std::string rate = trimmed(ini.read(name, "RATE", "", settings::rate.size));
        if (com.empty()) {
            pool.problems.push_back("[" + name + "] sets no COM: the modem is left out");
        } else if (!ports.insert(com).second) {
            pool.problems.push_back("[" + name + "] COM=" + com + " is another modem's port: the modem is left out");
        } else if (!rate_taken(rate)) {
            pool.problems.push_back("[" + name + "] RATE=" + rate + " is no number: the modem is left out");
        } else {
            pool.modems.push_back({name, name, com});
        }
    }
    if (ini.section("MODEM1")) {
        pool.problems.push_back("[MODEM1] is not read: the first modem's settings are those of [SET]");
    }
}

// One ROUTES line: a prefix of digits (with an optional '+') and listed modems.
void read_route(const std::string& key, const std::string& value, ModemPoolSettings& pool) {
    std::string prefix = trimmed(key);
    std::string_view digits = prefix;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    if (!all_digits(digits) || prefix.size() > most_route_prefix) {
        pool.problems.push_back("[ROUTES] " + prefix +
                                ": a prefix is digits (with a leading + at most), the rule is left out");
        return;
    }
    RouteRule rule{prefix, {}};
    std::string list = value + ",";
    for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
        std::string name = upper(trimmed(std::string_view(list).substr(at, comma - at)));
        bool listed =
            std::any_of(pool.modems.begin(), pool.modems.end(), [&](const PoolModem& m) { return m.name == name; });
        if (!listed) {
            pool.problems.push_back("[ROUTES] " + prefix + "=" + value + ": " +
                                    (name.empty() ? "an empty name" : name) +
                                    " is no modem of this gateway, the rule is left out");
            return;
        }
        if (std::find(rule.modems.begin(), rule.modems.end(), name) == rule.modems.end()) {
            rule.modems.push_back(name);
        }
    }
    pool.routes.push_back(std::move(rule));
}

} // namespace

bool is_modem_key(std::string_view key) {
    std::string name = upper(std::string(key));
    return std::find(modem_keys.begin(), modem_keys.end(), name) != modem_keys.end();
}

ModemPoolSettings read_modem_pool_settings() {
    IniSnapshot ini(settings_file);
    ModemPoolSettings pool;
    pool.modems.push_back(
        {"MODEM1", "SET", trimmed(ini.read("SET", "COM", settings::com.fallback, settings::com.size))});
    read_other_modems(ini, pool);
    if (const auto* routes = ini.section("ROUTES")) {
        for (const auto& [key, value] : *routes) {
            read_route(key, value, pool);
        }
    }
    return pool;
}

ModemSectionScope::ModemSectionScope(const std::string& section) {
    if (!section.empty() && upper(section) != "SET") {
        modem_section = section;
    }
}

ModemSectionScope::~ModemSectionScope() {
    modem_section.reset();
}

const std::string* thread_modem_section() {
    return modem_section ? &*modem_section : nullptr;
}
