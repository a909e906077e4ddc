#pragma once

#include <optional>
#include <string>

// Where the engine stands inside the record it is sending: record k of the day, and how many of its
// recipients (in the order the engine walks them, range members included) are done. Kept in
// {day}/send/pos beside the counters and replaced atomically after every recipient, so an engine that
// is killed goes on from the next recipient instead of sending the whole record again.
struct SendPosition {
    long record = 0;
    long done = 0;
};

std::string send_position_path(const std::string& day);

// The position stored for the day, or nullopt when there is none or it cannot be read.
std::optional<SendPosition> read_send_position(const std::string& day);

// Replaces the day's position file ("<record> <done>"); false when it could not be written.
[[nodiscard]] bool write_send_position(const std::string& day, const SendPosition& position);
