#include "platform/stop_signal.h"

#include <chrono>

void StopSignal::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
        if (interrupt_) {
            interrupt_();
        }
    }
    changed_.notify_all();
}

void StopSignal::on_request(std::function<void()> interrupt) {
    std::lock_guard lock(mutex_);
    interrupt_ = std::move(interrupt);
    if (requested_ && interrupt_) {
        interrupt_();
    }
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
