#pragma once

#include "engine/engine_options.h"
#include "engine/operator_output.h"
#include "modem/modem_link.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/stop_signal.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Pacer;
class EngineLogs;
class EngineStatus;
class EngineEvents;
class SendSource;
class SendLimiter;
struct EngineContext;
struct PoolSeat;

// The engine thread: the whole send/receive process of one gateway, in the working directory.
// It is created paused; the first Resume runs the start-up sequence, later ones continue where the
// engine was paused. Pausing takes hold only at safe points (between modem exchanges, recipients,
// records and inbox messages, around sleeps), never while a file is half written or a lock is held.
class myterad {
public:
    // With a `seat`, the engine is one of a pool of modems (engine/pool/pool_seat.h), which outlives it.
    myterad(EngineOptions& options, OperatorOutput& output, Clock& clock = real_clock(), PortOpener opener = {},
            const PoolSeat* seat = nullptr);
    // Stops the thread at its next safe point, closes the port and the logs, and joins it.
    ~myterad();
    myterad(const myterad&) = delete;
    myterad& operator=(const myterad&) = delete;

    // Pause count + 1, suspended flag set.
    void Suspend();
    // Pause count - 1 (not below 0); the suspended flag clears when the count goes from 1 to 0 and the
    // engine has not finished. A finished engine cannot be resumed.
    void Resume();
    bool Suspended() const;
    // Execute has returned: a start-up failure, a termination or a shutdown.
    bool Finished() const;
    // Execute has returned because a start-up step failed (port missing or configuration rejected).
    bool StartupFailed() const;
    // Execute has returned because the modem needs the operator: its SIM (to be unlocked or put in) or
    // another modem than server.txt names on the port;
    // starting the engine again by itself would not help and could use up the SIM's PIN tries.
    bool NeedsOperator() const;
    // Ends the engine at its next safe point, even while paused, and waits for it.
    void Shutdown();

    // Called by the engine's own code at every safe point: blocks while paused; returns false when the
    // engine must stop now.
    bool gate();
    // Sleeps through the clock with a gate before and after.
    bool sleep_ms(int ms);
    bool terminate_requested() const;
    // The window (or a test) has paused the engine, which halts at its next safe point.
    bool pause_requested() const;

protected:
    // For tests that let the engine run a set number of cycles: asks it to end at the end of its
    // current cycle, and waits until Execute has returned.
    void Terminate();
    void WaitFor();

private:
    struct Counters {
        long processed; // send/acc
        long received;  // recv/acc
        long queued;    // new/acc
    };

    void Execute();
    // Start-up and the cycles; false when start-up failed.
    bool run(Pacer& pacer, EngineLogs& logs, EngineStatus& status, EngineEvents& events,
             std::unique_ptr<ModemLink>& link);
    std::unique_ptr<SendSource> open_send_source(EngineLogs& logs);
    SendLimiter open_limiter(EngineLogs& logs);
    void fail_startup(EngineLogs& logs, const std::string& monitor_text);
    bool start_modem(EngineContext& ctx);
    Counters read_counters(EngineContext& ctx);
    void run_cycle(EngineContext& ctx);
    void finish(bool startup_failed, bool needs_operator = false);

    EngineOptions& options_;
    OperatorOutput& output_;
    Clock& clock_;
    PortOpener opener_;
    const PoolSeat* seat_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    unsigned pause_count_ = 1;
    bool suspended_ = true;
    bool terminate_ = false;
    bool shutdown_ = false;
    StopSignal shutdown_signal_; // ends the engine's waits at once on shutdown
    bool finished_ = false;
    bool startup_failed_ = false;
    bool needs_operator_ = false;
    ModemLink* link_ = nullptr; // while the engine holds the port, so a shutdown can end a read at once
    std::thread thread_;
};
