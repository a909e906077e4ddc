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
// VMSMS_RECORD, VMSMS_INDEX, VMSMS_PARTS, and VMSMS_EVENT_ID, the event's id in the journal. Hooks are
// started from the event journal (engine/events/hook_feed.h); one runs in the background, and one that
// fails or hangs (stopped after its time) is only written to the trace log.

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
    std::string id; // the event's id in the journal
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
    // At most this many hooks run at once; the next waits for one to end.
    static constexpr std::size_t most_running = 16;

    HookRunner(HookSettings settings, TraceSink& trace);
    // Running hooks get SIGTERM, and SIGKILL after a short grace; none is left behind, nor anything a
    // hook started in its process group.
    ~HookRunner();
    HookRunner(const HookRunner&) = delete;
    HookRunner& operator=(const HookRunner&) = delete;

    enum class Start { Started, Busy, NotStarted };
    // Starts the event's program; returns at once. Busy: the most are running, try again later.
    // NotStarted: none is set for the event, or it could not start (traced).
    Start start(HookEvent event, const HookMessage& message);
    bool any() const { return !settings_.commands.empty(); }
    bool has(HookEvent event) const { return settings_.commands.count(event) != 0; }
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
