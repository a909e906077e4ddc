#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

// ./optout.txt: the numbers that asked for no more messages. One line per number, GBK, CR LF:
// "<canonical number> <YYYY-M-D> <keyword>" (the keyword as received, or "manual" for one the operator
// added). Numbers are kept in canonical form (store/phone_number.h), so every spelling of a number
// matches. The file is replaced atomically under its own lock (./optout.lock), so the engine, the
// window, vmsms-optout and the intake may change it at once without losing a line.

inline constexpr const char* optout_path = "optout.txt";
inline constexpr const char* optout_lock_path = "optout.lock";
inline constexpr std::size_t most_optout_entries = 1000000;
// A keyword is kept up to this many bytes (cut at a whole GBK character).
inline constexpr std::size_t most_optout_keyword_bytes = 32;
// The keyword of a number the operator added by hand.
inline constexpr const char* manual_optout_keyword = "manual";

struct OptOutEntry {
    std::string number;  // canonical: '+', country code, national number
    std::string day;     // the day it was added, as the spool writes days
    std::string keyword; // GBK
};

// The list as it stands; empty when there is no file. nullopt when the file cannot be read or is
// malformed beyond a line (unreadable lines are skipped and counted in `skipped`).
struct OptOutList {
    std::vector<OptOutEntry> entries;
    std::size_t skipped = 0;
    // The canonical numbers of `entries`, filled by read_optout_list; a list built by hand without it is
    // searched entry by entry.
    std::unordered_set<std::string> numbers;
    // Whether `number` (any spelling) is on the list.
    bool holds(const std::string& number, const std::string& country) const;
};
// Malformed beyond a line: larger than every entry could make it, more than most_optout_entries lines,
// or holding a NUL byte (no text file).
std::optional<OptOutList> read_optout_list();

enum class OptOutChange { Done, AlreadyThere, NotThere, NotANumber, Failed };

// Adds or removes a number (any spelling; a national number belongs to home_country()), under the list's
// lock; Failed (errno set) when the lock cannot be taken within `lock_timeout_ms`, the list cannot be
// read (EIO), it is full (EFBIG) or the file cannot be written. Lines the reader skips are kept as they
// are. `day` and `keyword` lose line breaks and control characters; an empty keyword is written as
// manual_optout_keyword.
OptOutChange add_optout(const std::string& number, const std::string& day, const std::string& keyword,
                        int lock_timeout_ms = 5000);
OptOutChange remove_optout(const std::string& number, int lock_timeout_ms = 5000);
