#include "engine/report/engine_status.h"

#include "engine/events/engine_events.h"
#include "platform/trace.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

EngineStatus::EngineStatus(Clock& clock, TraceSink& trace) : clock_(clock), trace_(trace) {
    status_.pid = static_cast<long>(::getpid());
}

void EngineStatus::started() {
    {
        std::lock_guard lock(mutex_);
        status_.since = date_time_text(clock_.now());
        status_.state = EngineRunState::Running;
        write_locked();
    }
    note_state(EngineRunState::Running);
}

void EngineStatus::note_state(EngineRunState state) {
    if (events_ != nullptr) {
        JournalEvent event;
        event.kind = "state";
        event.detail = run_state_name(state);
        events_->note(std::move(event));
    }
}

void EngineStatus::set_state(EngineRunState state) {
    {
        std::lock_guard lock(mutex_);
        if (written_ && status_.state == state) {
            return;
        }
        status_.state = state;
        write_locked();
    }
    note_state(state);
}

void EngineStatus::set_modem(std::optional<ModemSignal> signal, std::optional<ModemRegistration> registration) {
    std::lock_guard lock(mutex_);
    status_.signal = signal;
    status_.registration = registration;
    status_.modem_asked = date_time_text(clock_.now());
    write_locked();
}

void EngineStatus::note_modem_reset(const std::string& how) {
    std::lock_guard lock(mutex_);
    status_.modem_reset = date_time_text(clock_.now()) + " " + how;
    write_locked();
}

EngineRunState EngineStatus::state() const {
    std::lock_guard lock(mutex_);
    return status_.state;
}

void EngineStatus::write_locked() {
    status_.changed = date_time_text(clock_.now());
    written_ = write_status_file(status_, path_);
    if (!written_) {
        tracef(trace_, "cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
    }
}
