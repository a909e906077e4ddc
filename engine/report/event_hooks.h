#pragma once

#include "platform/trace.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The operator's programs the engine starts when something happens: section HOOKS of server.txt,
// RECEIVED= (a message was stored), SENT= (a recipient was sent to), FAILED= (a recipient failed), each a
// program and its arguments, run without a shell; TIMEOUT= the seconds one may run (default 30). The
// message goes in the environment: VMSMS_EVENT, VMSMS_NUMBER, VMSMS_TEXT (UTF-8), VMSMS_DAY,
// VMSMS_RECORD, VMSMS_INDEX, VMSMS_PARTS. A hook runs in the background: starting one never waits, and
// one that fails or hangs (stopped after its time) is only written to the trace log.

// MODEM= runs when the engine had to reset a modem that stopped answering: VMSMS_TEXT says what was
// done and on which device, VMSMS_NUMBER is empty.
// OPTOUT= runs when a received message put its sender on the opt-out list ([OPTOUT] KEYWORDS): the
// message's environment, as for RECEIVED.
enum class HookEvent { Received, Sent, Failed, Modem, OptOut };

struct HookMessage {
    std::string number;
    std::string text_gbk;
    std::string day;
    long record = 0;
    int index = 0; // the recipient's index; the received record has none (0)
    int parts = 1;
};

struct HookSettings {
    std::map<HookEvent, std::vector<std::string>> commands; // the words of each configured command
    std::chrono::milliseconds timeout{30000};
    std::vector<std::string> problems; // keys that could not be read, for the trace
};

// Section HOOKS of ./server.txt.
HookSettings read_hook_settings();

class HookRunner {
public:
    // At most this many hooks run at once; more are not started (and the trace says so).
    static constexpr std::size_t most_running = 16;

    HookRunner(HookSettings settings, TraceSink& trace);
    // Running hooks get SIGTERM, and SIGKILL after a short grace; none is left behind, nor anything a
    // hook started in its process group.
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    // Starts the event's program, if one is configured; returns at once.
    void run(HookEvent event, const HookMessage& message);
    // Hooks running now.
    std::size_t running() const;

private:
    struct Child {
        pid_t pid;
        std::string name;
        std::chrono::steady_clock::time_point started;
        bool terminated = false; // SIGTERM sent after its time ran out
    };

    // The process group of a hook that ended while programs it started in the background still run:
    // they got SIGTERM when it ended, and get SIGKILL after the grace.
    struct Leftover {
        pid_t group;
        std::chrono::steady_clock::time_point signalled;
    };

    void watch();
    void reap_locked();
    void end_leftovers_locked(bool at_once);
    void stop_all();

    HookSettings settings_;
    TraceSink& trace_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Child> children_;
    std::vector<Leftover> leftovers_;
    bool ending_ = false;
    std::thread watcher_;
};
