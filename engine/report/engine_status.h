#pragma once

#include "platform/clock.h"
#include "platform/trace.h"
#include "store/status_file.h"

#include <mutex>

// Keeps ./status.txt up to date from the engine: its state as it changes, and the modem's signal and
// registration as they are asked. Each change rewrites the file; a write that fails goes to the trace
// and is tried again with the next change.
class EngineEvents;

class EngineStatus {
public:
    EngineStatus(Clock& clock, TraceSink& trace);
    // Each change of state is journaled there as well.
    void set_events(EngineEvents* events) { events_ = events; }
    // An engine of a pool other than the first keeps its own file (status-MODEM2.txt...); before started().
    void set_path(std::string path) { path_ = std::move(path); }

    // The engine began its work now: running, the start time kept for every later write.
    void started();
    // Writes `state` when it differs from the last one written.
    void set_state(EngineRunState state);
    // The modem's latest answers; either may be missing when the modem did not say.
    void set_modem(std::optional<ModemSignal> signal, std::optional<ModemRegistration> registration);
    EngineRunState state() const;
    // The engine reset the modem just now, as `how` says ("AT+CFUN=1,1", "usb").
    void note_modem_reset(const std::string& how);

private:
    void write_locked();
    void note_state(EngineRunState state);

    Clock& clock_;
    TraceSink& trace_;
    mutable std::mutex mutex_; // the state changes on the engine thread; a pause is noted there too
    GatewayStatus status_;
    bool written_ = false;
    EngineEvents* events_ = nullptr;
    std::string path_ = status_file_path;
};
