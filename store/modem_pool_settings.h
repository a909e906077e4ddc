#pragma once

#include <string>
#include <string_view>
#include <vector>

// The modems of one gateway, from ./server.txt. The first modem (MODEM1) is the one of section SET, as
// for a gateway of one modem; sections MODEM2 to MODEM8 may add more, each with its own port and the
// settings of a modem: COM, RATE, PIN, SMSC, INIT, IMEI, ICCID, USBRESET. A key a MODEMn section leaves
// out takes its default, never SET's value (another SIM's PIN or service centre would be wrong for it).
// Section ROUTES sends the numbers that start with a prefix (as the recipient is written) through the
// modems named: "1390=MODEM2,MODEM3".

inline constexpr int most_modems = 8;

struct PoolModem {
    std::string name;    // "MODEM1" .. "MODEM8"
    std::string section; // where its keys are: "SET" for MODEM1, else its name
    std::string com;
};

struct RouteRule {
    std::string prefix;              // digits, with an optional leading '+'
    std::vector<std::string> modems; // names of listed modems, each once
};

struct ModemPoolSettings {
    std::vector<PoolModem> modems; // MODEM1 first, then the others in their order
    std::vector<RouteRule> routes;
    std::vector<std::string> problems; // sections and keys that were not taken, and why (for the operator)

    // More than one modem: the gateway runs one engine per modem.
    bool pooled() const { return modems.size() > 1; }
};

ModemPoolSettings read_modem_pool_settings();

// Whether `key` is one of a modem's own keys, read from its section.
bool is_modem_key(std::string_view key);

// Makes the modem keys this thread reads (store/settings.h) come from `section` while the object lives;
// "SET" or an empty name leaves them where they are.
class ModemSectionScope {
public:
    explicit ModemSectionScope(const std::string& section);
    ~ModemSectionScope();
    ModemSectionScope(const ModemSectionScope&) = delete;
    ModemSectionScope& operator=(const ModemSectionScope&) = delete;
};

// The section this thread's modem keys are read from, or nullptr for SET.
const std::string* thread_modem_section();
