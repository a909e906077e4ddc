#pragma once

#include <string>

class StopSignal;

struct LocalTime {
    int year = 1970; // e.g. 2004
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
    int second = 0;
};

// Every wait of the engine and every reading of the time goes through a clock, so tests can run in
// virtual time and see the exact waits.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
    virtual void sleep_ms(int ms) = 0;
    // A wait that a stop ends early: false when `stop` was requested, before the wait or during it.
    // The real clock returns at once then; a virtual clock takes the whole wait, as it takes no time.
    virtual bool sleep_ms(int ms, StopSignal& stop) = 0;
    // Milliseconds on a clock that only runs forward, for deadlines; its zero means nothing.
    virtual long long steady_ms() = 0;
};

class RealClock : public Clock {
public:
    LocalTime now() override;
    void sleep_ms(int ms) override;
    bool sleep_ms(int ms, StopSignal& stop) override;
    long long steady_ms() override;
};

// The process-wide real clock.
Clock& real_clock();

// A local time as a count of seconds (as if it were UTC: only differences and days matter), and back.
long long seconds_of(const LocalTime& t);
LocalTime local_time_of(long long seconds);

// The spool date of the day before `day` ("2004-5-6" gives "2004-5-5"); a text that is no date is given back.
std::string spool_date_before(const std::string& day);

// "2004-5-6": the spool date, which names the day directory.
std::string spool_date(const LocalTime& t);
// "7:01:05": the time text, 24-hour clock, no leading zero on the hour.
std::string time_text(const LocalTime& t);
// "2004-5-6 7:01:05".
std::string date_time_text(const LocalTime& t);
