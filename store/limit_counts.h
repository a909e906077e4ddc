#pragma once

#include "platform/clock.h"
#include "store/send_limits.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

// What this gateway's SIM has sent, for its limits, kept in the working directory so it survives a
// restart. ./limits.txt, replaced atomically after every message (before the send position, so after
// a crash the counts hold at least what was sent):
//   day 2026-12-11 12          the calendar day and its messages
//   month 2026-12 340          the calendar month and its messages
//   recent 1700000000 ...      when each message of the last hour went (seconds of local time, oldest
//                              first, one per part)
// ./limits-recipients-2026-12.txt: the month's distinct numbers in canonical form, one per line,
// appended before a message to a new number goes out.
// Each SIM of a pool of modems keeps its own: MODEM1 (the one of [SET]) these two, as without a pool,
// and the others limits-MODEM2.txt and limits-recipients-MODEM2-2026-12.txt. The functions below take
// the modem's name: empty (or "MODEM1") for the files without one.

inline constexpr const char* limit_counts_path = "limits.txt";
inline constexpr std::size_t most_recent_entries = 200000;
inline constexpr std::size_t most_month_recipients = 1000000;

struct LimitCounts {
    std::string day;
    long day_count = 0;
    std::string month;
    long month_count = 0;
    std::vector<long long> recent;
};

// The counts on disk; empty ones when there are none. A file that cannot be read is nullopt.
std::optional<LimitCounts> read_limit_counts(const std::string& modem = {});
[[nodiscard]] bool write_limit_counts(const LimitCounts& counts, const std::string& modem = {});

// "limits.txt", or "limits-MODEM2.txt" for a modem of a pool other than the first.
std::string limit_counts_file(const std::string& modem);

std::string month_key(const LocalTime& t); // "2026-12"
std::string month_recipients_path(const std::string& month, const std::string& modem = {});
std::set<std::string> read_month_recipients(const std::string& month, const std::string& modem = {});
[[nodiscard]] bool note_month_recipient(const std::string& month, const std::string& canonical,
                                        const std::string& modem = {});

// The counts as of `now`: a new day or month starts from 0, entries older than an hour are dropped.
LimitCounts counts_as_of(LimitCounts counts, const LocalTime& now);
// `parts` messages went out at `now`.
void count_sent(LimitCounts& counts, const LocalTime& now, int parts);

// Which limit holds a message of `parts` parts now, and until when (seconds of local time); nothing
// when it may go. `new_recipient`: the message goes to a number not messaged this month, with
// `distinct` numbers messaged so far. A message bigger than a window's whole limit goes when the
// window is empty, or it never would.
struct LimitHold {
    std::string limit; // "PER_MINUTE", "PER_HOUR", "PER_DAY", "PER_MONTH", "RECIPIENTS_PER_MONTH", "QUIET"
    long value = 0;    // the limit's figure (0 for QUIET)
    long long until = 0;
};
std::optional<LimitHold> limit_hold(const SendLimits& limits, const LimitCounts& counts, const LocalTime& now,
                                    int parts, bool new_recipient, std::size_t distinct);
// The quiet span holding messages at `now`, and its end.
std::optional<LimitHold> quiet_hold(const SendLimits& limits, const LocalTime& now);

// How many messages of the window ending at `now` (the last `seconds`) the counts hold.
long sent_within(const LimitCounts& counts, long long now_s, long long seconds);

// Each limit set, what of it is used as of `now`, and when the used figure next drops (seconds of
// local time; nothing while nothing is used): for the status and the metrics.
struct LimitUse {
    std::string limit; // "PER_MINUTE" ...
    long value = 0;
    long used = 0;
    std::optional<long long> frees_at;
};
std::vector<LimitUse> limit_uses(const SendLimits& limits, const LimitCounts& counts, const LocalTime& now,
                                 std::size_t distinct);
