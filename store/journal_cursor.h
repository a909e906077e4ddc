#pragma once

#include <optional>
#include <string>

// How far one follower of the event journal has come: events/cursor-NAME.txt, "SEQ\tLABEL\n" (ASCII),
// replaced atomically after every event it handled. LABEL says what the cursor is for (a webhook's
// URL): a cursor kept for another label does not count, so a new receiver does not start where the
// old one stopped.

struct JournalCursor {
    long long seq = 0;
    std::string label;
};

// A name as a cursor takes it: 1 to 40 letters, digits, '-' or '_' (it names a file).
bool valid_cursor_name(const std::string& name);

std::string journal_cursor_path(const std::string& dir, const std::string& name);
std::optional<JournalCursor> read_journal_cursor(const std::string& dir, const std::string& name);
[[nodiscard]] bool write_journal_cursor(const std::string& dir, const std::string& name, const JournalCursor& cursor);
