#pragma once

#include <string>

class RecipientDispatcher;
class EngineEvents;

// Where one engine sits in a pool of modems (vmsmsd with [MODEM2].. in server.txt): its modem, the
// section of server.txt its modem's keys are read from, and what the engines of the pool share.
struct PoolSeat {
    std::string modem;   // "MODEM1" .. "MODEM8": in report lines, the monitor and the status
    std::string section; // "SET" for MODEM1, else the modem's name
    // MODEM1 keeps ./sms.log and ./status.txt and runs the hooks and webhooks for the whole pool; the
    // others write sms-MODEMn.log and status-MODEMn.txt.
    bool first = false;
    RecipientDispatcher* dispatcher = nullptr;
    EngineEvents* events = nullptr; // the pool's one writer of the event journal
};

// "sms-MODEM2.log", "status-MODEM2.txt": the files of a modem of a pool other than the first.
inline std::string pool_trace_path(const std::string& modem) {
    return "./sms-" + modem + ".log";
}
inline std::string pool_status_path(const std::string& modem) {
    return "status-" + modem + ".txt";
}
