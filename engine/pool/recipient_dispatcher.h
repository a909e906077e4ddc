#pragma once

#include "platform/clock.h"
#include "store/modem_pool_settings.h"
#include "store/pool_progress.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// One recipient of a record, handed to one modem of a pool.
struct RecipientClaim {
    std::string day;
    long record = 0;
    long position = 0; // its place in the record's walk (store/recipient_walk.h), from 0
    long index = 0;    // the index the report logs name it by
    std::string recipient;
    bool bad_range = false; // a line written as a range that names no numbers: reported, never sent
};

// The spool's records as the modems of a pool take them: every recipient of the day's records goes to
// exactly one modem, one at a time to whichever engine asks, in the records' order. A modem only asks
// while it can send (its link up, registered, no limit holding it), so the free modems take the share of
// the others. Each recipient done is on disk before the next claim of its engine (send/acc, send/pos
// and send/pool): after a kill, only the recipients that were on their way go again.
//
// [ROUTES] keeps numbers that start with a prefix to the modems it names (the longest prefix counts);
// a record may be kept to one modem (an on-demand reply to the modem that received the query) while that
// modem asks for work now and then; once it stops asking, any modem takes it.
//
// A record's recipients are read in windows of at most `window` positions, so a record of a huge number
// range is never held in memory whole. All calls may come from any engine thread.
class RecipientDispatcher {
public:
    static constexpr long default_window = 4096;
    // A modem that asked for work within this time counts as up for the records kept to it.
    static constexpr long long preference_ms = 20000;

    RecipientDispatcher(std::vector<RouteRule> routes, Clock& clock, long window = default_window);

    // The next recipient of the day's records `modem` may send, now claimed by it; nullopt when there is
    // none for it (or progress could not be saved: progress_unsaved then says so).
    std::optional<RecipientClaim> claim(const std::string& modem, const std::string& day);
    // The claimed recipient is done (sent, failed or refused): noted and saved. false when the progress
    // could not be written: the note stays, and save() may be tried again until it works.
    [[nodiscard]] bool done(const RecipientClaim& claim);
    // The claimed recipient did not go (its modem went away, a limit held it): another modem takes it.
    void give_back(const RecipientClaim& claim);
    // The modem is gone until it asks again: records kept to it go through any modem.
    void modem_down(const std::string& modem);
    // Record `record` of `day` is an answer that should go through `modem`.
    void prefer(const std::string& day, long record, const std::string& modem);

    // Whether the day's progress waits to be written, and the write (counters, position, send/pool).
    bool progress_unsaved(const std::string& day);
    [[nodiscard]] bool save(const std::string& day);

private:
    struct Slot {
        long index = 0;
        std::string recipient;
        bool bad_range = false;
        bool claimed = false;
    };
    struct RecordWork {
        RecordProgress progress;
        std::map<long, Slot> slots; // read and not done yet, by position
        long walked = 0;            // positions read so far
        bool walked_all = false;
        std::string preferred;
        bool complete() const { return walked_all && slots.empty(); }
    };
    struct DayWork {
        long processed = 0;
        PoolProgress stored; // as read when the day was opened
        std::map<long, RecordWork> records;
        bool unsaved = false;
    };

    DayWork& open_day(const std::string& day);
    RecordWork& open_record(DayWork& work, const std::string& day, long record);
    void read_window(RecordWork& work, const std::string& day, long record);
    std::optional<RecipientClaim> take(RecordWork& work, const std::string& modem, const std::string& day, long record);
    bool may_take(const std::string& modem, const Slot& slot, const RecordWork& work);
    bool modem_up(const std::string& modem);
    bool save_locked(const std::string& day, DayWork& work);
    static PoolProgress progress_after_processed(const DayWork& work);

    std::vector<RouteRule> routes_;
    Clock& clock_;
    long window_;
    std::mutex mutex_;
    std::map<std::string, DayWork> days_;
    std::map<std::string, long long> last_ask_ms_;
    std::set<std::string> down_;
    std::map<std::pair<std::string, long>, std::string> preferred_;
};

// The modems `recipient` may go through by the routes (the longest prefix that starts it), or nullptr
// when no route names it: every modem may.
const RouteRule* route_for(const std::vector<RouteRule>& routes, const std::string& recipient);
