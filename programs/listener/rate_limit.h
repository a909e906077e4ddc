#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

// A token bucket per token name: each holds up to `burst` requests and fills at `rate` per second. A
// request takes one from its bucket or, when it is empty, is refused. A rate of 0 refuses nothing.
class RateLimit {
public:
    using Clock = std::chrono::steady_clock;

    RateLimit(double rate, double burst) : rate_(rate), burst_(burst) {}

    // Whether `name` may make a request at `now` (taking one from its bucket if so).
    bool allow(const std::string& name, Clock::time_point now = Clock::now());

    // Seconds until the bucket of `name` holds a whole request again, rounded up, for Retry-After.
    int seconds_until_allowed(const std::string& name, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens = 0;
        Clock::time_point filled;
    };
    Bucket& refill(const std::string& name, Clock::time_point now);

    double rate_;
    double burst_;
    std::mutex mutex_;
    std::map<std::string, Bucket> buckets_;
};
