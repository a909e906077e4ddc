#include "support/virtual_clock.h"

#include "platform/stop_signal.h"

#include <ctime>

namespace {

long long to_ms(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return static_cast<long long>(timegm(&tm)) * 1000;
}

LocalTime from_ms(long long ms) {
    std::time_t s = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&s, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

} // namespace

VirtualClock::VirtualClock(LocalTime start) : epoch_ms_(to_ms(start)) {}

LocalTime VirtualClock::now() {
    std::lock_guard lock(mutex_);
    return from_ms(epoch_ms_);
}

void VirtualClock::sleep_ms(int ms) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(ms);
    if (ms > 0) {
        epoch_ms_ += ms;
        elapsed_ += ms;
    }
}

void VirtualClock::set(LocalTime t) {
    std::lock_guard lock(mutex_);
    epoch_ms_ = to_ms(t);
}

std::vector<int> VirtualClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void VirtualClock::clear_sleeps() {
    std::lock_guard lock(mutex_);
    sleeps_.clear();
}

long long VirtualClock::elapsed_ms() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

bool VirtualClock::sleep_ms(int ms, StopSignal& stop) {
    sleep_ms(ms);
    return !stop.requested();
}
