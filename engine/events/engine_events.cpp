#include "engine/events/engine_events.h"

#include "platform/ini_file.h"
#include "store/settings.h"

#include <cstdlib>
#include <cstring>

int EngineEvents::keep_days_setting(TraceSink& trace) {
    std::string text = ini_read(settings_file, "EVENTS", "KEEP_DAYS", "", 16);
    if (text.empty()) {
        return 7;
    }
    char* end = nullptr;
    long days = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || days < 3 || days > 90) {
        tracef(trace, "server.txt [EVENTS] KEEP_DAYS=%s: not 3 to 90 days, 7 taken\n", text.c_str());
        return 7;
    }
    return static_cast<int>(days);
}

EngineEvents::EngineEvents(Clock& clock, TraceSink& trace, std::string dir, int keep_days)
    : clock_(clock), trace_(trace), dir_(dir), writer_(std::move(dir), keep_days) {}

void EngineEvents::note(JournalEvent event) {
    LocalTime now = clock_.now();
    JournalWriter::Appended appended;
    {
        std::lock_guard lock(mutex_);
        appended = writer_.append(event, now);
    }
    if (!appended.ok) {
        tracef(trace_, "event not journaled (%s): %s %s\n", std::strerror(appended.error), event.id.c_str(),
               event.number.c_str());
        return;
    }
    if (appended.repeat) {
        tracef(trace_, "event %s was journaled before: not again\n", event.id.c_str());
        return;
    }
    changed_.notify_all();
}

void EngineEvents::wait_past(long long seq, std::chrono::milliseconds most) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, most, [&] { return ended_ || writer_.last_seq() > seq; });
}

long long EngineEvents::last_seq() const {
    std::lock_guard lock(mutex_);
    return writer_.last_seq();
}

void EngineEvents::end() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool EngineEvents::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

JournalEvent message_event(const std::string& kind, const std::string& day, long record, int index, int parts,
                           const std::string& number, const std::string& text_gbk, const std::string& detail) {
    JournalEvent e;
    e.kind = kind;
    e.day = day;
    e.record = record;
    e.index = index;
    e.parts = parts;
    e.number = number;
    e.text = text_gbk;
    e.detail = detail;
    e.id = journal_event_id(kind, day, record, index);
    return e;
}
