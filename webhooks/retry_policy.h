#pragma once

// What a receiver's answer means for an event, and how long to wait before the next attempt.
//   2xx: accepted.
//   5xx, 408, 429, or no answer (refused connection, time-out, TLS failure): tried again later.
//   any other answer (3xx, other 4xx): the receiver refused this event; it is parked at once.
// The waits grow from the first (10 s) by doubling up to the longest (1 h); attempts go on for
// `give_up` (48 h) from the first, then the event is parked.

enum class WebhookVerdict { Accepted, Retry, Park };

// `status` is the HTTP status, 0 when there was no answer.
WebhookVerdict webhook_verdict(int status);

struct RetryTiming {
    long long first_ms = 10'000;
    long long most_ms = 3'600'000;
    long long give_up_ms = 48LL * 3'600'000;
};

// The wait after the `failures`-th failed attempt (1 for the first).
long long retry_wait_ms(int failures, const RetryTiming& timing);

// Whether an event first tried at `first_ms` is given up at `now_ms` rather than waited for again
// `wait_ms`: it is when the next attempt would come after the give-up time.
bool give_up_now(long long first_ms, long long now_ms, long long wait_ms, const RetryTiming& timing);
