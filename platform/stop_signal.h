#pragma once

#include <condition_variable>
#include <functional>
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
    // Also run `interrupt` when a stop is requested (at once if it already was), so work that is no wait,
    // such as a read of the port, ends too. An empty function takes it away again.
    void on_request(std::function<void()> interrupt);

private:
    std::function<void()> interrupt_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
};
