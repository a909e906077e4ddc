#pragma once

#include "platform/clock.h"

#include <mutex>
#include <vector>

// A clock in virtual time: sleeping advances it at once and is recorded, so tests assert exact waits.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(LocalTime start = {2004, 5, 6, 7, 1, 5});

    LocalTime now() override;
    void sleep_ms(int ms) override;
    bool sleep_ms(int ms, StopSignal& stop) override;
    long long steady_ms() override { return elapsed_ms(); }

    void set(LocalTime t);
    std::vector<int> sleeps() const;
    void clear_sleeps();
    long long elapsed_ms() const;

private:
    mutable std::mutex mutex_;
    long long epoch_ms_; // virtual milliseconds since 1970, local time
    std::vector<int> sleeps_;
    long long elapsed_ = 0;
};
