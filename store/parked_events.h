#pragma once

#include "store/event_journal.h"

#include <cstddef>
#include <string>

// The events a follower gave up on (a webhook's receiver refused one, or did not take it for the whole
// time allowed): events/parked-NAME.txt, one line each, "SEQ\tID\tTIME\tREASON" (GBK). They stay
// there for the operator; the journal still holds the events themselves.

inline constexpr std::size_t parked_file_limit = std::size_t{16} << 20;

std::string parked_events_path(const std::string& dir, const std::string& name);
// Appends one line; false when it could not be written (or the file is at its limit).
[[nodiscard]] bool park_event(const std::string& dir, const std::string& name, const JournalEvent& event,
                              const std::string& time, const std::string& reason);
// How many events are parked there.
std::size_t parked_event_count(const std::string& dir, const std::string& name);
