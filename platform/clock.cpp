#include "platform/clock.h"

#include "platform/stop_signal.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

LocalTime RealClock::now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void RealClock::sleep_ms(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

bool RealClock::sleep_ms(int ms, StopSignal& stop) {
    return !stop.wait_for_ms(ms);
}

long long RealClock::steady_ms() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

long long seconds_of(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return static_cast<long long>(timegm(&tm));
}

LocalTime local_time_of(long long seconds) {
    std::time_t s = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&s, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string spool_date_before(const std::string& day) {
    int year = 0, month = 0, date = 0;
    if (std::sscanf(day.c_str(), "%d-%d-%d", &year, &month, &date) != 3) {
        return day;
    }
    return spool_date(local_time_of(seconds_of({year, month, date, 0, 0, 0}) - 24 * 3600));
}

Clock& real_clock() {
    static RealClock clock;
    return clock;
}

std::string spool_date(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d-%d-%d", t.year, t.month, t.day);
    return buf;
}

std::string time_text(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string date_time_text(const LocalTime& t) {
    return spool_date(t) + " " + time_text(t);
}
