#include "rate_limit.h"

#include <algorithm>
#include <cmath>

RateLimit::Bucket& RateLimit::refill(const std::string& name, Clock::time_point now) {
    auto [it, added] = buckets_.try_emplace(name);
    Bucket& bucket = it->second;
    if (added) {
        bucket.tokens = burst_;
    } else if (now > bucket.filled) {
        double seconds = std::chrono::duration<double>(now - bucket.filled).count();
        bucket.tokens = std::min(burst_, bucket.tokens + seconds * rate_);
    }
    bucket.filled = std::max(bucket.filled, now);
    return bucket;
}

bool RateLimit::allow(const std::string& name, Clock::time_point now) {
    if (rate_ <= 0) {
        return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Bucket& bucket = refill(name, now);
    if (bucket.tokens < 1) {
        return false;
    }
    bucket.tokens -= 1;
    return true;
}

int RateLimit::seconds_until_allowed(const std::string& name, Clock::time_point now) {
    if (rate_ <= 0) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Bucket& bucket = refill(name, now);
    return bucket.tokens >= 1 ? 0 : std::max(1, static_cast<int>(std::ceil((1 - bucket.tokens) / rate_)));
}
