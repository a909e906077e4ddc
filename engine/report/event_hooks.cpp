#include "engine/report/event_hooks.h"

#include "platform/gbk.h"
#include "platform/ini_file.h"
#include "platform/spawned_process.h"
#include "store/settings.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;

constexpr auto watch_interval = 100ms;
constexpr auto kill_grace = 2s;

const char* event_name(HookEvent event) {
    switch (event) {
    case HookEvent::Received:
        return "RECEIVED";
    case HookEvent::Sent:
        return "SENT";
    case HookEvent::Failed:
        return "FAILED";
    case HookEvent::Modem:
        return "MODEM";
    case HookEvent::OptOut:
        return "OPTOUT";
    }
    return "?";
}

std::vector<std::string> environment_of(HookEvent event, const HookMessage& message) {
    return {std::string("VMSMS_EVENT=") + event_name(event),     "VMSMS_NUMBER=" + message.number,
            "VMSMS_TEXT=" + gbk_to_utf8_lossy(message.text_gbk), "VMSMS_DAY=" + message.day,
            "VMSMS_RECORD=" + std::to_string(message.record),    "VMSMS_INDEX=" + std::to_string(message.index),
            "VMSMS_PARTS=" + std::to_string(message.parts),      "VMSMS_EVENT_ID=" + message.id};
}

std::string how_it_ended(int status) {
    if (WIFEXITED(status)) {
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("signal ") + std::to_string(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

} // namespace

HookSettings read_hook_settings() {
    HookSettings settings;
    for (HookEvent event :
         {HookEvent::Received, HookEvent::Sent, HookEvent::Failed, HookEvent::Modem, HookEvent::OptOut}) {
        std::string line = ini_read(settings_file, "HOOKS", event_name(event), "", 4096);
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        std::optional<std::vector<std::string>> words = split_command_line(line);
        if (!words || words->empty()) {
            settings.problems.push_back(std::string(event_name(event)) + "=" + line + ": a quote is left open");
            continue;
        }
        settings.commands[event] = *words;
    }
    std::string timeout = ini_read(settings_file, "HOOKS", "TIMEOUT", "", 32);
    if (!timeout.empty()) {
        char* end = nullptr;
        long seconds = std::strtol(timeout.c_str(), &end, 10);
        if (end == timeout.c_str() || *end != '\0' || seconds < 1 || seconds > 3600) {
            settings.problems.push_back("TIMEOUT=" + timeout + ": not 1 to 3600 seconds, 30 taken");
        } else {
            settings.timeout = std::chrono::seconds(seconds);
        }
    }
    return settings;
}

HookRunner::HookRunner(HookSettings settings, TraceSink& trace) : settings_(std::move(settings)), trace_(trace) {
    for (const std::string& problem : settings_.problems) {
        tracef(trace_, "hook setting ignored: %s\n", problem.c_str());
    }
    if (!settings_.commands.empty()) {
        watcher_ = std::thread([this] { watch(); });
    }
}

HookRunner::~HookRunner() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    stop_all();
}

HookRunner::Start HookRunner::start(HookEvent event, const HookMessage& message) {
    auto command = settings_.commands.find(event);
    if (command == settings_.commands.end()) {
        return Start::NotStarted;
    }
    const std::string& program = command->second.front();
    std::lock_guard lock(mutex_);
    if (children_.size() >= most_running) {
        return Start::Busy;
    }
    pid_t pid = spawn_process(command->second, environment_of(event, message));
    if (pid < 0) {
        tracef(trace_, "hook %s (%s) could not start: %s\n", event_name(event), program.c_str(), std::strerror(errno));
        return Start::NotStarted;
    }
    children_.push_back({pid, std::string(event_name(event)) + " (" + program + ")", std::chrono::steady_clock::now()});
    tracef(trace_, "hook %s started: %s, pid %d\n", event_name(event), program.c_str(), static_cast<int>(pid));
    return Start::Started;
}

std::size_t HookRunner::running() const {
    std::lock_guard lock(mutex_);
    return children_.size();
}

// Collects the hooks that ended and stops those past their time. Called with the lock held.
void HookRunner::reap_locked() {
    auto now = std::chrono::steady_clock::now();
    for (auto it = children_.begin(); it != children_.end();) {
        int status = 0;
        pid_t done = ::waitpid(it->pid, &status, WNOHANG);
        if (done == it->pid || (done < 0 && errno == ECHILD)) {
            if (done == it->pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0) && !it->terminated) {
                tracef(trace_, "hook %s failed: %s\n", it->name.c_str(), how_it_ended(status).c_str());
            }
            // What the hook left running in the background ends with it.
            if (::kill(-it->pid, SIGTERM) == 0) {
                tracef(trace_, "hook %s left programs running: stopped\n", it->name.c_str());
                leftovers_.push_back({it->pid, now});
            }
            it = children_.erase(it);
            continue;
        }
        if (!it->terminated && now - it->started > settings_.timeout) {
            tracef(trace_, "hook %s still running after %lld s: stopped\n", it->name.c_str(),
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(settings_.timeout).count()));
            ::kill(-it->pid, SIGTERM);
            it->terminated = true;
        } else if (it->terminated && now - it->started > settings_.timeout + kill_grace) {
            ::kill(-it->pid, SIGKILL);
        }
        ++it;
    }
}

// Kills the leftover groups past their grace (or all of them) and forgets those that are gone. Called
// with the lock held.
void HookRunner::end_leftovers_locked(bool at_once) {
    auto now = std::chrono::steady_clock::now();
    for (auto it = leftovers_.begin(); it != leftovers_.end();) {
        bool gone = ::kill(-it->group, 0) != 0;
        if (!gone && (at_once || now - it->signalled > kill_grace)) {
            ::kill(-it->group, SIGKILL);
            gone = true;
        }
        it = gone ? leftovers_.erase(it) : it + 1;
    }
}

void HookRunner::watch() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        reap_locked();
        end_leftovers_locked(false);
        wake_.wait_for(lock, watch_interval, [this] { return ending_; });
    }
}

void HookRunner::stop_all() {
    std::lock_guard lock(mutex_);
    for (Child& child : children_) {
        ::kill(-child.pid, SIGTERM);
    }
    auto deadline = std::chrono::steady_clock::now() + kill_grace;
    while ((!children_.empty() || !leftovers_.empty()) && std::chrono::steady_clock::now() < deadline) {
        reap_locked();
        end_leftovers_locked(false);
        std::this_thread::sleep_for(20ms);
    }
    for (Child& child : children_) {
        ::kill(-child.pid, SIGKILL);
        ::waitpid(child.pid, nullptr, 0);
    }
    children_.clear();
    end_leftovers_locked(true);
}
