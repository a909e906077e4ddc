#include "store/limit_counts.h"

#include "platform/data_file.h"
#include "platform/text_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr long long minute_s = 60;
constexpr long long hour_s = 3600;

long long next_midnight(const LocalTime& now) {
    LocalTime t = now;
    t.hour = 0;
    t.minute = 0;
    t.second = 0;
    return seconds_of(t) + 24 * hour_s;
}

long long next_month_start(const LocalTime& now) {
    LocalTime t{now.month == 12 ? now.year + 1 : now.year, now.month == 12 ? 1 : now.month + 1, 1, 0, 0, 0};
    return seconds_of(t);
}

// The window's hold: when `parts` more would pass `limit` within the last `span` seconds, the time
// the oldest entries that must leave have left.
std::optional<long long> window_hold(const LimitCounts& counts, long long now_s, long long span, long limit,
                                     int parts) {
    std::vector<long long> inside;
    for (long long t : counts.recent) {
        if (t > now_s - span) {
            inside.push_back(t);
        }
    }
    long over = static_cast<long>(inside.size()) + parts - limit;
    if (over <= 0 || inside.empty()) {
        return std::nullopt;
    }
    std::sort(inside.begin(), inside.end());
    std::size_t leaving = static_cast<std::size_t>(std::min<long>(over, static_cast<long>(inside.size())));
    return inside[leaving - 1] + span;
}

bool is_canonical(const std::string& text) {
    return text.size() >= 2 && text.size() <= 16 && text[0] == '+' &&
           text.find_first_not_of("0123456789", 1) == std::string::npos;
}

// "" for the gateway's one SIM or MODEM1, else "MODEM2-": the modem's part of its files' names, letters
// and digits only.
std::string modem_infix(const std::string& modem) {
    if (modem.empty() || modem == "MODEM1") {
        return {};
    }
    std::string infix;
    for (char c : modem) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            infix += c;
        }
    }
    return infix + "-";
}

} // namespace

std::string month_key(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", t.year, t.month);
    return text;
}

std::string month_recipients_path(const std::string& month, const std::string& modem) {
    return "limits-recipients-" + modem_infix(modem) + month + ".txt";
}

std::string limit_counts_file(const std::string& modem) {
    std::string infix = modem_infix(modem);
    return infix.empty() ? limit_counts_path : "limits-" + infix.substr(0, infix.size() - 1) + ".txt";
}

std::optional<LimitCounts> read_limit_counts(const std::string& modem) {
    BoundedRead file = read_file_bounded(limit_counts_file(modem), 8 * 1024 * 1024);
    if (file.status == BoundedRead::Status::CannotOpen && file.error == ENOENT) {
        return LimitCounts{};
    }
    if (file.status != BoundedRead::Status::Read) {
        return std::nullopt;
    }
    LimitCounts counts;
    std::istringstream lines(from_text_mode(file.bytes));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "day") {
            words >> counts.day >> counts.day_count;
        } else if (key == "month") {
            words >> counts.month >> counts.month_count;
        } else if (key == "recent") {
            for (long long t = 0; counts.recent.size() < most_recent_entries && words >> t;) {
                counts.recent.push_back(t);
            }
        }
    }
    counts.day_count = std::max(0L, counts.day_count);
    counts.month_count = std::max(0L, counts.month_count);
    return counts;
}

bool write_limit_counts(const LimitCounts& counts, const std::string& modem) {
    std::string text = "day " + counts.day + " " + std::to_string(counts.day_count) + "\nmonth " + counts.month + " " +
                       std::to_string(counts.month_count) + "\nrecent";
    for (long long t : counts.recent) {
        text += " " + std::to_string(t);
    }
    return replace_text_file_atomically(limit_counts_file(modem), text + "\n");
}

std::set<std::string> read_month_recipients(const std::string& month, const std::string& modem) {
    std::set<std::string> numbers;
    BoundedRead file = read_file_bounded(month_recipients_path(month, modem), 32 * 1024 * 1024);
    if (file.status != BoundedRead::Status::Read) {
        return numbers;
    }
    std::string text = from_text_mode(file.bytes);
    text.erase(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1); // a cut line
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && numbers.size() < most_month_recipients;) {
        if (is_canonical(line)) {
            numbers.insert(line);
        }
    }
    return numbers;
}

bool note_month_recipient(const std::string& month, const std::string& canonical, const std::string& modem) {
    int fd = ::open(month_recipients_path(month, modem).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                    0640);
    if (fd < 0) {
        return false;
    }
    // The line break before it keeps a line a crash cut short from running into this one.
    std::string line = "\r\n" + canonical + "\r\n";
    bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    bool synced = ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && written && synced;
}

LimitCounts counts_as_of(LimitCounts counts, const LocalTime& now) {
    std::string day = spool_date(now);
    std::string month = month_key(now);
    if (counts.day != day) {
        counts.day = day;
        counts.day_count = 0;
    }
    if (counts.month != month) {
        counts.month = month;
        counts.month_count = 0;
    }
    long long now_s = seconds_of(now);
    std::erase_if(counts.recent, [&](long long t) { return t <= now_s - hour_s || t > now_s + hour_s; });
    return counts;
}

void count_sent(LimitCounts& counts, const LocalTime& now, int parts) {
    counts = counts_as_of(std::move(counts), now);
    counts.day_count += parts;
    counts.month_count += parts;
    for (int i = 0; i < parts && counts.recent.size() < most_recent_entries; ++i) {
        counts.recent.push_back(seconds_of(now));
    }
}

long sent_within(const LimitCounts& counts, long long now_s, long long seconds) {
    return static_cast<long>(
        std::count_if(counts.recent.begin(), counts.recent.end(), [&](long long t) { return t > now_s - seconds; }));
}

std::vector<LimitUse> limit_uses(const SendLimits& limits, const LimitCounts& on_disk, const LocalTime& now,
                                 std::size_t distinct) {
    LimitCounts counts = counts_as_of(on_disk, now);
    long long now_s = seconds_of(now);
    std::vector<LimitUse> uses;
    auto window = [&](const char* name, const std::optional<long>& limit, long long span) {
        if (!limit) {
            return;
        }
        LimitUse use{name, *limit, sent_within(counts, now_s, span), std::nullopt};
        for (long long t : counts.recent) {
            if (t > now_s - span && (!use.frees_at || t + span < *use.frees_at)) {
                use.frees_at = t + span;
            }
        }
        uses.push_back(use);
    };
    auto calendar = [&](const char* name, const std::optional<long>& limit, long used, long long end) {
        if (limit) {
            uses.push_back({name, *limit, used, used > 0 ? std::optional<long long>(end) : std::nullopt});
        }
    };
    window("PER_MINUTE", limits.per_minute, minute_s);
    window("PER_HOUR", limits.per_hour, hour_s);
    calendar("PER_DAY", limits.per_day, counts.day_count, next_midnight(now));
    calendar("PER_MONTH", limits.per_month, counts.month_count, next_month_start(now));
    calendar("RECIPIENTS_PER_MONTH", limits.recipients_per_month, static_cast<long>(distinct), next_month_start(now));
    return uses;
}

std::optional<LimitHold> quiet_hold(const SendLimits& limits, const LocalTime& now) {
    if (!limits.quiet || !in_quiet_span(*limits.quiet, now.hour * 60 + now.minute)) {
        return std::nullopt;
    }
    LocalTime end = now;
    end.hour = limits.quiet->to_minute / 60;
    end.minute = limits.quiet->to_minute % 60;
    end.second = 0;
    long long until = seconds_of(end);
    if (until <= seconds_of(now)) {
        until += 24 * hour_s; // the span ends tomorrow
    }
    return LimitHold{"QUIET", 0, until};
}

std::optional<LimitHold> limit_hold(const SendLimits& limits, const LimitCounts& on_disk, const LocalTime& now,
                                    int parts, bool new_recipient, std::size_t distinct) {
    LimitCounts counts = counts_as_of(on_disk, now);
    long long now_s = seconds_of(now);
    const std::pair<const std::optional<long>*, std::pair<const char*, long long>> windows[] = {
        {&limits.per_minute, {"PER_MINUTE", minute_s}}, {&limits.per_hour, {"PER_HOUR", hour_s}}};
    std::optional<LimitHold> hold;
    auto consider = [&](const char* name, long value, long long until) {
        if (!hold || until > hold->until) {
            hold = LimitHold{name, value, until};
        }
    };
    for (const auto& [limit, window] : windows) {
        if (*limit) {
            if (std::optional<long long> until = window_hold(counts, now_s, window.second, **limit, parts)) {
                consider(window.first, **limit, *until);
            }
        }
    }
    if (limits.per_day && counts.day_count > 0 && counts.day_count + parts > *limits.per_day) {
        consider("PER_DAY", *limits.per_day, next_midnight(now));
    }
    if (limits.per_month && counts.month_count > 0 && counts.month_count + parts > *limits.per_month) {
        consider("PER_MONTH", *limits.per_month, next_month_start(now));
    }
    if (limits.recipients_per_month && new_recipient && static_cast<long>(distinct) >= *limits.recipients_per_month) {
        consider("RECIPIENTS_PER_MONTH", *limits.recipients_per_month, next_month_start(now));
    }
    return hold;
}
