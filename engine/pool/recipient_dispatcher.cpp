#include "engine/pool/recipient_dispatcher.h"

#include "store/recipient_walk.h"
#include "store/reply_records.h"
#include "store/send_position.h"
#include "store/spool.h"

#include <algorithm>

namespace {

// Collects the positions [from, from + room) of a record's walk that are not done yet.
class WindowReader : public RecipientWalkVisitor {
public:
    using Take = std::function<void(long position, long index, const std::string& text, bool bad_range)>;
    WindowReader(long from, long room, Take take) : from_(from), to_(from + room), take_(std::move(take)) {}

    bool recipient(long index, const std::string& recipient, bool /*range_member*/) override {
        return next(index, recipient, false);
    }
    bool bad_range(long index, const std::string& prepared) override { return next(index, prepared, true); }
    long reached() const { return position_; }
    bool cut_short() const { return cut_short_; }

private:
    bool next(long index, const std::string& text, bool bad) {
        if (position_ >= to_) {
            cut_short_ = true;
            return false;
        }
        if (position_ >= from_) {
            take_(position_, index, text, bad);
        }
        ++position_;
        return true;
    }

    long from_;
    long to_;
    Take take_;
    long position_ = 0;
    bool cut_short_ = false;
};

bool is_done(const RecordProgress& progress, long position) {
    return position < progress.prefix || progress.beyond.contains(position);
}

void note_done(RecordProgress& progress, long position) {
    if (position == progress.prefix) {
        ++progress.prefix;
    } else if (position > progress.prefix) {
        progress.beyond.insert(position);
    }
    while (!progress.beyond.empty() && *progress.beyond.begin() <= progress.prefix) {
        if (*progress.beyond.begin() == progress.prefix) {
            ++progress.prefix;
        }
        progress.beyond.erase(progress.beyond.begin());
    }
}

} // namespace

const RouteRule* route_for(const std::vector<RouteRule>& routes, const std::string& recipient) {
    const RouteRule* best = nullptr;
    for (const RouteRule& rule : routes) {
        if (recipient.starts_with(rule.prefix) && (!best || rule.prefix.size() > best->prefix.size())) {
            best = &rule;
        }
    }
    return best;
}

RecipientDispatcher::RecipientDispatcher(std::vector<RouteRule> routes, Clock& clock, long window)
    : routes_(std::move(routes)), clock_(clock), window_(std::max(1L, window)) {}

std::optional<RecipientClaim> RecipientDispatcher::claim(const std::string& modem, const std::string& day) {
    std::lock_guard lock(mutex_);
    last_ask_ms_[modem] = clock_.steady_ms();
    down_.erase(modem);
    DayWork& work = open_day(day);
    if (work.unsaved && !save_locked(day, work)) {
        return std::nullopt;
    }
    const long queued = read_counter(day, SpoolDir::New);
    for (long k = work.processed + 1; k <= queued; ++k) {
        RecordWork& record = open_record(work, day, k);
        if (std::optional<RecipientClaim> claim = take(record, modem, day, k)) {
            return claim;
        }
        if (record.complete() && k == work.processed + 1 && !save_locked(day, work)) {
            return std::nullopt; // nothing more is handed out until the progress is on disk
        }
    }
    return std::nullopt;
}

bool RecipientDispatcher::done(const RecipientClaim& claim) {
    std::lock_guard lock(mutex_);
    DayWork& work = open_day(claim.day);
    auto record = work.records.find(claim.record);
    if (record != work.records.end()) {
        record->second.slots.erase(claim.position);
        note_done(record->second.progress, claim.position);
    }
    return save_locked(claim.day, work);
}

void RecipientDispatcher::give_back(const RecipientClaim& claim) {
    std::lock_guard lock(mutex_);
    auto day = days_.find(claim.day);
    if (day == days_.end()) {
        return;
    }
    auto record = day->second.records.find(claim.record);
    if (record == day->second.records.end()) {
        return;
    }
    if (auto slot = record->second.slots.find(claim.position); slot != record->second.slots.end()) {
        slot->second.claimed = false;
    }
}

void RecipientDispatcher::modem_down(const std::string& modem) {
    std::lock_guard lock(mutex_);
    down_.insert(modem);
}

void RecipientDispatcher::prefer(const std::string& day, long record, const std::string& modem) {
    std::lock_guard lock(mutex_);
    preferred_[{day, record}] = modem;
    if (auto d = days_.find(day); d != days_.end()) {
        if (auto r = d->second.records.find(record); r != d->second.records.end()) {
            r->second.preferred = modem;
        }
    }
}

bool RecipientDispatcher::progress_unsaved(const std::string& day) {
    std::lock_guard lock(mutex_);
    auto d = days_.find(day);
    return d != days_.end() && d->second.unsaved;
}

bool RecipientDispatcher::save(const std::string& day) {
    std::lock_guard lock(mutex_);
    return save_locked(day, open_day(day));
}

RecipientDispatcher::DayWork& RecipientDispatcher::open_day(const std::string& day) {
    auto [it, added] = days_.try_emplace(day);
    DayWork& work = it->second;
    if (added) {
        work.processed = read_counter(day, SpoolDir::Send);
        work.stored = read_pool_progress(day);
        // The position the engine of one modem left, or the pool's own.
        if (std::optional<SendPosition> position = read_send_position(day);
            position && position->record == work.processed + 1) {
            RecordProgress& front = work.stored[position->record];
            front.prefix = std::max(front.prefix, position->done);
        }
    }
    return work;
}

RecipientDispatcher::RecordWork& RecipientDispatcher::open_record(DayWork& work, const std::string& day, long record) {
    auto [it, added] = work.records.try_emplace(record);
    RecordWork& opened = it->second;
    if (!added) {
        return opened;
    }
    if (auto stored = work.stored.find(record); stored != work.stored.end()) {
        opened.progress = stored->second;
        note_done(opened.progress, -1); // folds the stored positions into the prefix
    }
    if (auto preferred = preferred_.find({day, record}); preferred != preferred_.end()) {
        opened.preferred = preferred->second;
    }
    // A reply sent ahead in the quiet hours by a gateway of one modem is not sent again.
    if (read_early_records(day).contains(record)) {
        opened.walked_all = true;
    }
    return opened;
}

void RecipientDispatcher::read_window(RecordWork& work, const std::string& day, long record) {
    RecordTexts texts = read_record(day, SpoolDir::New, record);
    if (!texts.recipients || !texts.content) {
        work.walked_all = true; // its files are gone: it counts as processed, as with one modem
        return;
    }
    long room = window_ - static_cast<long>(work.slots.size());
    WindowReader reader(work.walked, room, [&](long position, long index, const std::string& text, bool bad) {
        if (!is_done(work.progress, position)) {
            work.slots[position] = Slot{index, text, bad, false};
        }
    });
    walk_recipient_file(*texts.recipients, reader);
    work.walked = reader.reached();
    work.walked_all = !reader.cut_short();
}

std::optional<RecipientClaim> RecipientDispatcher::take(RecordWork& work, const std::string& modem,
                                                        const std::string& day, long record) {
    while (true) {
        for (auto& [position, slot] : work.slots) {
            if (!slot.claimed && may_take(modem, slot, work)) {
                slot.claimed = true;
                return RecipientClaim{day, record, position, slot.index, slot.recipient, slot.bad_range};
            }
        }
        if (work.walked_all || static_cast<long>(work.slots.size()) >= window_) {
            return std::nullopt;
        }
        long walked_before = work.walked;
        read_window(work, day, record);
        if (work.walked == walked_before && !work.walked_all) {
            return std::nullopt;
        }
    }
}

bool RecipientDispatcher::may_take(const std::string& modem, const Slot& slot, const RecordWork& work) {
    if (!work.preferred.empty() && work.preferred != modem && modem_up(work.preferred)) {
        return false;
    }
    if (slot.bad_range) {
        return true; // reported without the modem
    }
    const RouteRule* rule = route_for(routes_, slot.recipient);
    return !rule || std::find(rule->modems.begin(), rule->modems.end(), modem) != rule->modems.end();
}

bool RecipientDispatcher::modem_up(const std::string& modem) {
    if (down_.contains(modem)) {
        return false;
    }
    auto asked = last_ask_ms_.find(modem);
    return asked != last_ask_ms_.end() && clock_.steady_ms() - asked->second <= preference_ms;
}

PoolProgress RecipientDispatcher::progress_after_processed(const DayWork& work) {
    PoolProgress progress;
    for (const auto& [record, opened] : work.records) {
        if (record > work.processed && (opened.progress.prefix > 0 || !opened.progress.beyond.empty())) {
            progress[record] = opened.progress;
        }
    }
    return progress;
}

// The records after the processed ones go to send/pool, the one at the front also to send/pos; records
// done at the front move send/acc on, each after its position is written.
bool RecipientDispatcher::save_locked(const std::string& day, DayWork& work) {
    work.unsaved = true;
    if (!write_pool_progress(day, progress_after_processed(work))) {
        return false;
    }
    const long processed_before = work.processed;
    while (true) {
        auto front = work.records.find(work.processed + 1);
        if (front == work.records.end()) {
            break;
        }
        if (!write_send_position(day, {front->first, front->second.progress.prefix})) {
            return false;
        }
        if (!front->second.complete()) {
            break;
        }
        if (!write_counter(day, SpoolDir::Send, front->first)) {
            return false;
        }
        work.processed = front->first;
        preferred_.erase({day, front->first});
        work.records.erase(front);
    }
    // The records now processed leave send/pool.
    if (work.processed != processed_before && !write_pool_progress(day, progress_after_processed(work))) {
        return false;
    }
    work.unsaved = false;
    return true;
}
