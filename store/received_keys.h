#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The keys of the messages received on a day, so that a message the modem hands over again (listed
// twice, or still there after a crash between storing it and deleting it) is stored once. A key is ASCII
// text of at most longest_received_key characters (the sender, the service centre's time stamp and the
// user data, as the engine writes them). {day}/recv/keys holds one line per key, "<name> <key>", where
// the name says what the key is for: "R<n>" the received record n of the day ("+R<n>" for its further
// keys, one per part of a long message), "P<part>" a part of a long message held in the day's parts
// folder. Key lines are appended, flushed to the disk, before what they name is written, so a crash never
// leaves a stored record without its key; a line whose record never got written is stale and does not
// count, and the next "R<n>" line replaces what the lines before it noted for n.

inline constexpr std::size_t longest_received_key = 400;
// A day's file stops taking keys at this size (some 20,000 messages); messages are still stored then.
inline constexpr std::size_t most_received_key_bytes = std::size_t{8} << 20;

std::string received_keys_path(const std::string& day);

// One day's file as read.
struct ReceivedKeys {
    // The keys noted for each record: those of its last "R<n>" line and the "+R<n>" lines after it.
    std::map<long, std::set<std::string>> records;
    std::map<std::string, std::string> parts; // part name -> key
};

// The day's keys; a missing or unreadable file gives none, a cut or damaged line is passed over.
ReceivedKeys read_received_keys(const std::string& day);

// Whether the day holds `key` for a received record that exists (the day's received counter has
// reached it).
bool record_key_known(const std::string& day, const ReceivedKeys& keys, const std::string& key);

enum class KeyNoted { Noted, Full, NotWritten };

// Appends the keys of record `record` of `day` (at least one, at most most_keys_per_record), or the key
// of the held part `part`, in one write. Full when the day's file is at its bound (nothing written),
// NotWritten when the lines could not be written or a key is no key (empty, too long, blanks or control
// characters in it).
inline constexpr std::size_t most_keys_per_record = 255;
[[nodiscard]] KeyNoted note_record_keys(const std::string& day, long record, const std::vector<std::string>& keys);
[[nodiscard]] KeyNoted note_record_key(const std::string& day, long record, const std::string& key);
[[nodiscard]] KeyNoted note_part_key(const std::string& day, const std::string& part, const std::string& key);
