#include "console/stop_signal.h"

#include <chrono>

void StopSignal::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
}

void StopSignal::reset() {
    std::lock_guard lock(mutex_);
    requested_ = false;
}

bool StopSignal::requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

bool StopSignal::wait_for_ms(int ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return requested_; });
}
