#include "store/send_limits.h"

#include "platform/ini_file.h"
#include "store/modem_pool_settings.h"
#include "store/settings.h"

#include <cstdio>

namespace {

constexpr const char* section = "LIMITS";

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A modem of a pool may set its SIM's own limits in its section ([MODEM2] PER_DAY=...); what it leaves
// out is [LIMITS]'s.
std::string value_of(const char* key) {
    if (const std::string* modem = thread_modem_section(); modem && ini_has_key(settings_file, *modem, key)) {
        return trimmed(ini_read(settings_file, *modem, key, "", 64));
    }
    return trimmed(ini_read(settings_file, section, key, "", 64));
}

std::optional<long> whole_number(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    long n = std::stol(text);
    return n >= low && n <= high ? std::optional<long>(n) : std::nullopt;
}

void read_count(const char* key, std::optional<long>& into, SendLimits& limits) {
    std::string text = value_of(key);
    if (text.empty()) {
        return;
    }
    into = whole_number(text, 1, most_limit);
    if (!into) {
        limits.problems.push_back(std::string(key) + "=" + text + ": a whole number from 1 to " +
                                  std::to_string(most_limit) + " is wanted; not limited");
    }
}

std::optional<std::pair<int, int>> parse_jitter(const std::string& text) {
    std::size_t dash = text.find('-');
    std::optional<long> low = whole_number(trimmed(text.substr(0, dash)), 0, most_jitter_ms);
    std::optional<long> high =
        dash == std::string::npos ? low : whole_number(trimmed(text.substr(dash + 1)), 0, most_jitter_ms);
    if (!low || !high || *low > *high) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<int>(*low), static_cast<int>(*high));
}

std::optional<int> minute_of(const std::string& text) {
    int hour = 0;
    int minute = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2d:%2d%c", &hour, &minute, &tail) != 2 || hour < 0 || hour > 24 || minute < 0 ||
        minute > 59 || (hour == 24 && minute != 0)) {
        return std::nullopt;
    }
    return (hour * 60 + minute) % (24 * 60);
}

} // namespace

bool SendLimits::counts_anything() const {
    return per_minute || per_hour || per_day || per_month || recipients_per_month;
}

bool SendLimits::any() const {
    return counts_anything() || jitter_ms || quiet;
}

std::optional<QuietSpan> parse_quiet_span(const std::string& text) {
    std::size_t dash = text.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    std::optional<int> from = minute_of(trimmed(text.substr(0, dash)));
    std::optional<int> to = minute_of(trimmed(text.substr(dash + 1)));
    if (!from || !to || *from == *to) {
        return std::nullopt;
    }
    return QuietSpan{*from, *to, text};
}

bool in_quiet_span(const QuietSpan& span, int minute_of_day) {
    if (span.from_minute < span.to_minute) {
        return minute_of_day >= span.from_minute && minute_of_day < span.to_minute;
    }
    return minute_of_day >= span.from_minute || minute_of_day < span.to_minute;
}

SendLimits read_send_limits() {
    SendLimits limits;
    read_count("PER_MINUTE", limits.per_minute, limits);
    read_count("PER_HOUR", limits.per_hour, limits);
    read_count("PER_DAY", limits.per_day, limits);
    read_count("PER_MONTH", limits.per_month, limits);
    read_count("RECIPIENTS_PER_MONTH", limits.recipients_per_month, limits);
    if (std::string jitter = value_of("JITTER_MS"); !jitter.empty()) {
        limits.jitter_ms = parse_jitter(jitter);
        if (!limits.jitter_ms) {
            limits.problems.push_back("JITTER_MS=" + jitter + ": milliseconds LOW-HIGH (0 to " +
                                      std::to_string(most_jitter_ms) + ") are wanted; no jitter");
        }
    }
    if (std::string quiet = value_of("QUIET"); !quiet.empty()) {
        limits.quiet = parse_quiet_span(quiet);
        if (!limits.quiet) {
            limits.problems.push_back("QUIET=" + quiet + ": HH:MM-HH:MM is wanted; no quiet hours");
        }
    }
    limits.quiet_replies = value_of("QUIET_REPLIES") != "0";
    return limits;
}
