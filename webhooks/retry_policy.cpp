#include "webhooks/retry_policy.h"

#include <algorithm>

WebhookVerdict webhook_verdict(int status) {
    if (status >= 200 && status <= 299) {
        return WebhookVerdict::Accepted;
    }
    if (status == 0 || status == 408 || status == 429 || (status >= 500 && status <= 599)) {
        return WebhookVerdict::Retry;
    }
    return WebhookVerdict::Park;
}

long long retry_wait_ms(int failures, const RetryTiming& timing) {
    long long wait = timing.first_ms;
    for (int i = 1; i < failures && wait < timing.most_ms; ++i) {
        wait *= 2;
    }
    return std::min(wait, timing.most_ms);
}

bool give_up_now(long long first_ms, long long now_ms, long long wait_ms, const RetryTiming& timing) {
    return now_ms + wait_ms - first_ms > timing.give_up_ms;
}
