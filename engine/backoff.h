#pragma once

#include <algorithm>

// Growing waits between the tries of something that failed and must be tried again (a write the
// engine cannot go on without, reopening a lost modem, reaching the shared queue): 1 s, doubling, at
// most 30 s.
class Backoff {
public:
    static constexpr int first_ms = 1000;
    static constexpr int longest_ms = 30000;

    // The wait before the next try: the first, then each time twice the last, up to the longest.
    int next() {
        wait_ms_ = wait_ms_ == 0 ? first_ms : std::min(wait_ms_ * 2, longest_ms);
        return wait_ms_;
    }
    // What next() gave last; 0 before it was called or after reset().
    int current() const { return wait_ms_; }
    // The next try succeeded: the next failure starts again at the first wait.
    void reset() { wait_ms_ = 0; }

private:
    int wait_ms_ = 0;
};
