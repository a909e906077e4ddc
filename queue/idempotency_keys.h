#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The idempotency keys of one writer, kept in the working directory as idempotency/<name>.txt: one line
// per key, "SECONDS DAY RECORD MESSAGE_HASH RECORD_HASH ANSWER KEY" (ASCII, text mode). SECONDS is when
// the key was written (seconds_of the local time), DAY and RECORD the record it queued, MESSAGE_HASH the
// SHA-256 of the message as the writer received it, RECORD_HASH that of the record's files as written
// (record_fingerprint), ANSWER a word the writer keeps to answer a repeat with ("-" for none), KEY the
// key itself (it may hold blanks, so it comes last).

inline constexpr std::size_t max_idempotency_key = 255;
inline constexpr long long idempotency_lifetime_seconds = 48LL * 3600;
// A writer keeps at most this many keys within the lifetime; every line is at most max_key_line bytes.
inline constexpr std::size_t max_keys_per_writer = 10000;
inline constexpr std::size_t max_key_line = 512;
inline constexpr std::size_t max_key_file_bytes = max_keys_per_writer * max_key_line;

// 1 to 255 printable ASCII characters (blank included).
bool valid_idempotency_key(std::string_view key);

// A writer's name as it becomes a file name: 1 to 80 letters, digits, '.', '_' or '-', not starting with
// '.', so it never names a file outside idempotency/.
bool valid_key_writer(std::string_view name);

inline constexpr const char* idempotency_dir = "idempotency";
std::string key_file_path(const std::string& writer);
std::string key_lock_path(const std::string& writer);

struct KeyEntry {
    long long seconds = 0;
    std::string day;
    long record = 0;
    std::string message_hash;
    std::string record_hash;
    std::string answer = "-";
    std::string key;
};

// One line without its line end, and back (nullopt for a line that is not one of ours).
std::string key_line(const KeyEntry& entry);
std::optional<KeyEntry> parse_key_line(std::string_view line);

// Whether a key written at `entry.seconds` still counts at `now` (a clock set back by less than the
// lifetime keeps it too).
bool key_alive(const KeyEntry& entry, long long now);

struct KeyFile {
    bool read = false;             // false: the file exists but could not be read, or is too large
    std::vector<KeyEntry> entries; // lines that are not ours are left out
    std::string error;             // why not read (English)
};

// A missing file is read and empty.
KeyFile read_key_file(const std::string& path);

// Replaces the file atomically with `entries`, in order. False with `error` (English) when it could not.
[[nodiscard]] bool write_key_file(const std::string& path, const std::vector<KeyEntry>& entries, std::string& error);
