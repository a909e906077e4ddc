#include "engine/pool/engine_pool.h"

#include "engine/myterad.h"

namespace {

constexpr int exit_needs_operator = 3;

} // namespace

PoolMemberOutput::PoolMemberOutput(OperatorOutput& shared, std::string modem, bool first)
    : shared_(shared), prefix_(std::move(modem) + ": "), first_(first) {}

void PoolMemberOutput::set_caption(const std::string& text) {
    if (first_) {
        shared_.set_caption(text);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (text == caption_) {
            return;
        }
        caption_ = text;
    }
    shared_.prepend_monitor(prefix_ + text + "\r\n");
}

// An engine clears the monitor as it starts; in a pool that would wipe out what the others said, so
// its text only goes on top (the window keeps the monitor's newest part, however much comes).
void PoolMemberOutput::replace_monitor(const std::string& text) {
    shared_.prepend_monitor(prefix_ + text);
}

void PoolMemberOutput::prepend_monitor(const std::string& text) {
    shared_.prepend_monitor(prefix_ + text);
}

std::size_t PoolMemberOutput::monitor_length() {
    return shared_.monitor_length();
}

EnginePool::EnginePool(const ModemPoolSettings& pool, EngineOptions& options, const PoolOutputMaker& make_output,
                       Clock& clock, TraceSink& trace)
    : events_(clock, trace, journal_dir, EngineEvents::keep_days_setting(trace)), dispatcher_(pool.routes, clock),
      members_(pool.modems.size()) {
    for (std::size_t i = 0; i < pool.modems.size(); ++i) {
        const PoolModem& modem = pool.modems[i];
        Member& m = members_[i];
        m.seat = PoolSeat{modem.name, modem.section, i == 0, &dispatcher_, &events_};
        m.output = make_output(modem, i == 0);
    }
    for (Member& m : members_) {
        m.engine = std::make_unique<myterad>(options, *m.output, clock, PortOpener{}, &m.seat);
    }
}

EnginePool::~EnginePool() {
    Shutdown();
    events_.end();
}

void EnginePool::Resume() {
    for (Member& m : members_) {
        m.engine->Resume();
    }
}

void EnginePool::Suspend() {
    for (Member& m : members_) {
        m.engine->Suspend();
    }
}

bool EnginePool::Suspended() const {
    return !members_.empty() && members_.front().engine->Suspended();
}

void EnginePool::Shutdown() {
    for (Member& m : members_) {
        m.engine->Shutdown();
    }
}

bool EnginePool::Finished() const {
    for (const Member& m : members_) {
        if (!m.engine->Finished()) {
            return false;
        }
    }
    return true;
}

int EnginePool::exit_status() const {
    bool failed = false;
    for (const Member& m : members_) {
        if (m.engine->NeedsOperator()) {
            return exit_needs_operator;
        }
        failed = failed || m.engine->StartupFailed();
    }
    return failed ? 1 : 0;
}
