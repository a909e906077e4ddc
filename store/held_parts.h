#pragma once

#include <optional>
#include <string>
#include <vector>

// Parts of long messages that arrived and wait for the rest of their message, held on disk in
// {day}/parts/ so a restart loses none. One file per part, "<sender in hex>_<reference>_<count>_<part>",
// whose first line is the arrival time in seconds and whose rest is the part's text (GBK). Once the
// message is stored whole, a marker "<sender in hex>_<reference>_<count>.done" remembers it, so a
// part that comes again is not taken for a new message.

struct PartKey {
    std::string sender;
    int reference = 0;
    int count = 0;
    bool operator==(const PartKey&) const = default;
};

struct HeldPart {
    int sequence = 0;
    long long arrived = 0; // seconds
    std::string text;
};

struct HeldGroup {
    PartKey key;
    std::vector<HeldPart> parts;   // by sequence, each sequence once
    std::optional<long long> done; // when the message was stored whole
};

std::string parts_dir(const std::string& day);

// Holds one part (a part that came twice replaces itself). False when it could not be written.
[[nodiscard]] bool hold_part(const std::string& day, const PartKey& key, const HeldPart& part);

// The group of `key` in the day's folder (no parts and no marker: an empty group).
HeldGroup held_group(const std::string& day, const PartKey& key);
// Every group in the day's folder, parts or marker.
std::vector<HeldGroup> held_groups(const std::string& day);

// Marks the group's message stored. False when the marker could not be written.
[[nodiscard]] bool mark_group_done(const std::string& day, const PartKey& key, long long when);
// Removes the group's part files; with `marker`, its marker too.
void remove_group(const std::string& day, const PartKey& key, bool marker);
