#pragma once

#include "platform/clock.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The journal of the gateway's events: every event the engine sees (a message received, a recipient
// sent or failed, a delivery report, an opt-out, a change of the engine's state, a modem reset) is
// appended here before anything else hears of it. Hooks, webhooks and the event stream of the intake
// all read it, each from its own cursor.
//
// events/YYYYMMDD.txt in the working directory, one file per calendar day of writing, one event per
// line (GBK, fields separated by tabs; a tab, a line end or a backslash inside a field is escaped as
// \t, \n, \r or \\):
//   seq  id  kind  time  day  record  index  parts  number  detail  text
// seq counts every event of the journal from 1 and never goes back, across days. id is the event's
// stable name ("2026-12-11-sent-5-2": the record's day, the kind, the record and the recipient's index),
// the same however often the engine comes to the same event (a recipient sent again after a crash):
// an id is journaled once, so a receiver can drop repeats by it.

inline constexpr const char* journal_dir = "events";
// The most one line may hold; a longer one is not journaled (its text is cut first).
inline constexpr std::size_t journal_line_limit = 16384;

struct JournalEvent {
    long long seq = 0;
    std::string id;
    std::string kind;   // received, sent, failed, delivered, optout, state, modem
    std::string time;   // "2026-12-11 08:05:09", local time
    std::string day;    // the spool day of the record ("2026-12-11"), empty for engine events
    long record = 0;    // the record: sent or received; 0 for engine events
    int index = 0;      // the recipient's index in the record; 0 for received
    int parts = 1;      // the message's parts
    std::string number; // the recipient or the sender, GBK
    std::string detail; // the report's outcome, the new state, what was done to the modem
    std::string text;   // the message's text (or what happened), GBK
};

// The id an event of `kind` gets: day-kind-record-index (received and opt-out: day-kind-record).
std::string journal_event_id(const std::string& kind, const std::string& day, long record, int index);

std::string journal_line(const JournalEvent& event); // with its line end
std::optional<JournalEvent> parse_journal_line(std::string_view line);

// "2026-12-11 08:05:09".
std::string journal_time(const LocalTime& t);

// Where a reader stands: after the event `seq`, at `offset` of the day file `file` ("20261211.txt").
struct JournalPosition {
    std::string file;
    std::size_t offset = 0;
    long long seq = 0;
};

// The day files of the journal in `dir`, oldest first (names only).
std::vector<std::string> journal_files(const std::string& dir);

// Reads events in order from a position; it never returns a line the writer has not finished.
class JournalReader {
public:
    explicit JournalReader(std::string dir = journal_dir) : dir_(std::move(dir)) {}

    // The position after the last event written so far.
    JournalPosition end() const;
    // The position after the event `seq` (0 or less: before the first event kept).
    JournalPosition after_seq(long long seq) const;
    // The position after the event named `id`; nullopt when no kept event has that id.
    std::optional<JournalPosition> after_id(const std::string& id) const;
    // Up to `most` events after `at`, which moves past them.
    std::vector<JournalEvent> read(JournalPosition& at, std::size_t most) const;
    // The same without going on into a later file; `more` tells whether this file may hold more.
    std::vector<JournalEvent> read_in_file(JournalPosition& at, std::size_t most, bool& more) const;

private:
    std::string dir_;
};

// Appends events, from one thread at a time per writer. Several writers may share a journal (the
// engines of several modems): the file's lock orders their lines, and each takes in what the others wrote
// before it appends, so seqs stay unique.
class JournalWriter {
public:
    // `keep_days`: day files older than that many days are removed when a new day's file is begun.
    explicit JournalWriter(std::string dir = journal_dir, int keep_days = 7);

    struct Appended {
        bool ok = false;     // written, or already there
        bool repeat = false; // an event with that id was already journaled: not written again
        long long seq = 0;   // its place in the journal
        int error = 0;       // errno of a failed write
    };
    // Gives the event its seq (and its time from `now` when it has none; and an id from its seq when it
    // has none) and appends it.
    Appended append(JournalEvent& event, const LocalTime& now);
    long long last_seq() const { return last_seq_; }

private:
    void load();
    void begin_day(const std::string& file, const LocalTime& now);
    void catch_up_locked();

    std::string dir_;
    int keep_days_;
    long long last_seq_ = 0;
    std::string current_file_;
    // The ids of the current and the previous day file: an id already there is not written twice.
    std::unordered_set<std::string> ids_;
    std::unordered_set<std::string> older_ids_;
    int fd_ = -1;
    std::size_t known_size_ = 0; // how much of the current file this writer has seen

public:
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
};
