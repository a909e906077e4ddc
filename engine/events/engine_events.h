#pragma once

#include "platform/clock.h"
#include "platform/trace.h"
#include "store/event_journal.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// The engine's side of the event journal: every event is journaled here, in the order the engine
// saw it, before anything else hears of it; whoever follows the journal in this process (the hooks,
// the webhooks) is woken at once.
class EngineEvents {
public:
    // [EVENTS] KEEP_DAYS of server.txt: how many days of the journal are kept (3 to 90, default 7).
    static int keep_days_setting(TraceSink& trace);

    EngineEvents(Clock& clock, TraceSink& trace, std::string dir = journal_dir, int keep_days = 7);

    // Journals the event (its seq, and its time when it has none, are set here). One that cannot be
    // written is traced, with what it was; one already journaled (a recipient sent again after a
    // crash) is not written twice.
    void note(JournalEvent event);
    // Waits until an event after `seq` is journaled, at most `most`, or until end() was called.
    void wait_past(long long seq, std::chrono::milliseconds most);
    long long last_seq() const;
    // Wakes every waiter for good: the engine ends.
    void end();
    bool ended() const;
    const std::string& dir() const { return dir_; }

private:
    Clock& clock_;
    TraceSink& trace_;
    std::string dir_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    JournalWriter writer_;
    bool ended_ = false;
};

// The event of one recipient or one received message, as the engine passes note it.
JournalEvent message_event(const std::string& kind, const std::string& day, long record, int index, int parts,
                           const std::string& number, const std::string& text_gbk, const std::string& detail = {});
