#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Section LIMITS of ./server.txt: how much this gateway's SIM may send, and when. Every key is off
// when missing:
//   PER_MINUTE, PER_HOUR     messages in the last 60 s / 60 min (a long message counts its parts)
//   PER_DAY, PER_MONTH       messages in the calendar day / month, local time
//   RECIPIENTS_PER_MONTH     distinct numbers in the calendar month
//   JITTER_MS=500-3000       a random extra wait before each message, in that span (or one figure)
//   QUIET=21:00-08:00        nothing is sent in that span (it may cross midnight)...
//   QUIET_REPLIES=0          ...not even on-demand replies, which otherwise go out in it

struct QuietSpan {
    int from_minute = 0; // minutes after midnight
    int to_minute = 0;   // the span ends here (exclusive); below from_minute: across midnight
    std::string text;    // as written, for the operator
};

struct SendLimits {
    std::optional<long> per_minute;
    std::optional<long> per_hour;
    std::optional<long> per_day;
    std::optional<long> per_month;
    std::optional<long> recipients_per_month;
    std::optional<std::pair<int, int>> jitter_ms; // low, high
    std::optional<QuietSpan> quiet;
    bool quiet_replies = true;
    std::vector<std::string> problems; // values that were not taken, for the trace

    // Whether any count is limited (counting is only done then).
    bool counts_anything() const;
    bool any() const;
};

SendLimits read_send_limits();

// "HH:MM-HH:MM" into a span; nullopt when it is not one (or from equals to).
std::optional<QuietSpan> parse_quiet_span(const std::string& text);
// Whether `minute_of_day` (0..1439) is inside the span.
bool in_quiet_span(const QuietSpan& span, int minute_of_day);

inline constexpr long most_limit = 100000000;
inline constexpr int most_jitter_ms = 600000;
