#pragma once

#include <condition_variable>
#include <mutex>

// A request to stop that a worker's waits listen for. Once requested (from any thread), the wait under
// way ends at once, and so does every later one, until reset() readies the signal for the next run.
class StopSignal {
public:
    void request();
    void reset();
    bool requested() const;
    // Waits up to `ms` milliseconds of real time. True when the stop was requested, before or meanwhile.
    bool wait_for_ms(int ms);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
};
