#pragma once

#include "engine/engine_context.h"

#include <optional>
#include <string>
#include <vector>

// Which modem is on the port: with server.txt's IMEI= (or ICCID=) set, the modem's identity (AT+CGSN,
// or the SIM's AT+CCID) is asked after every opening and a different one is refused. When the port's
// path has gone (a USB modem that came back under another number), the modem with that identity is
// looked for among the serial devices: /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/*, and the other
// devices in the folder of the COM path. A device another process holds (the port is opened for this
// process alone) is passed over.

// The identity an answer gives: the first line of 14 to 22 digits, after a "+CGSN:", "+CCID:" or
// "^ICCID:" and quotes if there are any (an ICCID's trailing F is dropped); nullopt without one.
std::optional<std::string> identity_in_answer(const std::string& answer);

struct WantedIdentity {
    std::string imei;  // from IMEI=, or empty
    std::string iccid; // from ICCID=, or empty
    bool any() const { return !imei.empty() || !iccid.empty(); }
};
WantedIdentity wanted_identity();

// Asks the modem on the open port; empty when it is the wanted one (or none is wanted), else what it
// said (or "no answer") for the operator.
std::string identity_mismatch(EngineContext& ctx, const WantedIdentity& wanted);

// The devices to look at, the COM path's own left out: char devices only, each named once.
std::vector<std::string> candidate_devices(const std::string& com_path);

// Looks for the wanted modem on the other devices; when found, the link names that device from now
// on (closed: the caller reopens it) and true is returned. Said on the monitor and in the trace.
bool find_modem_elsewhere(EngineContext& ctx, const WantedIdentity& wanted);

inline constexpr std::size_t most_candidates = 64;
