#include "engine/events/journal_follower.h"

#include <cerrno>
#include <cstring>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t read_ahead = 100;
// A follower also looks at the journal this often without being woken.
constexpr auto idle_look = 1000ms;

} // namespace

JournalFollower::JournalFollower(EngineEvents& events, std::string name, std::string label, TraceSink& trace)
    : events_(events), reader_(events.dir()), name_(std::move(name)), trace_(trace) {
    std::optional<JournalCursor> kept = read_journal_cursor(events.dir(), name_);
    if (kept && kept->label == label) {
        cursor_ = *kept;
        at_ = reader_.after_seq(cursor_.seq);
        return;
    }
    at_ = reader_.end();
    cursor_ = {at_.seq, std::move(label)};
    if (!write_journal_cursor(events.dir(), name_, cursor_)) {
        tracef(trace_, "cursor %s could not be written: %s\n", name_.c_str(), std::strerror(errno));
    }
}

std::optional<JournalEvent> JournalFollower::next() {
    while (ahead_.empty()) {
        if (events_.ended()) {
            return std::nullopt;
        }
        std::vector<JournalEvent> events = reader_.read(at_, read_ahead);
        if (events.empty()) {
            events_.wait_past(at_.seq, idle_look);
            continue;
        }
        ahead_.assign(std::make_move_iterator(events.begin()), std::make_move_iterator(events.end()));
    }
    JournalEvent event = std::move(ahead_.front());
    ahead_.pop_front();
    return event;
}

void JournalFollower::done(const JournalEvent& event) {
    cursor_.seq = event.seq;
    if (!write_journal_cursor(events_.dir(), name_, cursor_)) {
        // Handed over again after a restart, which the receiver tells by the event's id.
        tracef(trace_, "cursor %s could not be written: %s\n", name_.c_str(), std::strerror(errno));
    }
}
