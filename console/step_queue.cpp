#include "console/step_queue.h"

#include <utility>

bool StepQueue::push(Step step) {
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
    if (run_pending_) {
        return false;
    }
    run_pending_ = true;
    return true;
}

void StepQueue::run() {
    if (running_) {
        return;
    }
    running_ = true;
    for (;;) {
        Step step;
        {
            std::lock_guard lock(mutex_);
            if (steps_.empty()) {
                run_pending_ = false;
                break;
            }
            step = std::move(steps_.front());
            steps_.pop_front();
        }
        step();
    }
    running_ = false;
}

void StepQueue::clear() {
    std::lock_guard lock(mutex_);
    steps_.clear();
}
