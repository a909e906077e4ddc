#pragma once

#include <optional>
#include <string>

// ./status.txt: what the engine of this directory last said about itself and its modem, for
// `vmsmsd --status` and the network intake. The engine replaces it whole whenever something in it
// changes, so a reader never sees half of it. One "key=value" line each, ASCII only.

enum class EngineRunState {
    Running,       // working through the queue and the inbox
    Paused,        // stopped from the window; it goes on where it was at the next start
    LinkDown,      // the modem stopped answering; the engine is opening the port again
    Stopped,       // ended at the operator's or the system's request
    PortFailed,    // could not open or set up the port at start
    SimLocked,     // stopped: the SIM wants a PIN it was not given, refused the PIN, or wants its PUK
    SimMissing,    // stopped: no SIM in the modem, or a SIM that fails
    NotRegistered, // the modem is not registered with a network: sending waits, receiving goes on
    Limited,       // a sending limit of server.txt's [LIMITS] holds: sending waits, receiving goes on
    QuietHours,    // in the quiet span of [LIMITS] QUIET: sending waits, receiving goes on
};

struct ModemSignal {
    int rssi = 99; // AT+CSQ: 0..31, 99 not known
    int ber = 99;
};

struct ModemRegistration {
    int stat = 4; // AT+CREG?: 0 not registered, 1 home, 2 searching, 3 denied, 4 unknown, 5 roaming
};

struct GatewayStatus {
    long pid = 0;
    EngineRunState state = EngineRunState::Stopped;
    std::string since;   // the engine's start, "YYYY-M-D H:MM:SS" as the spool writes times
    std::string changed; // the last change of state
    std::optional<ModemSignal> signal;
    std::optional<ModemRegistration> registration;
    std::string modem_asked; // when signal and registration were last asked
    // The last time the engine reset a modem that stopped answering, and how: "YYYY-M-D H:MM:SS
    // AT+CFUN=1,1" or "... usb"; empty when it never had to.
    std::string modem_reset;
};

inline constexpr const char* status_file_path = "status.txt";

// "running", "paused", "link-down", "stopped", "port-failed", "sim-locked", "sim-missing", "not-registered",
// "limited", "quiet-hours";
// and back.
const char* run_state_name(EngineRunState state);
std::optional<EngineRunState> run_state_from_name(const std::string& name);

// Replaces ./status.txt (or `path`: an engine of a pool keeps status-MODEM2.txt...); false when it
// cannot be written.
[[nodiscard]] bool write_status_file(const GatewayStatus& status, const std::string& path = status_file_path);

// The status last written, or nullopt when there is none or it cannot be read. Unknown lines are
// passed over, so an older reader takes a newer file.
std::optional<GatewayStatus> read_status_file(const std::string& path = status_file_path);
