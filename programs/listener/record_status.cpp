#include "record_status.h"

#include "store/send_position.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/recipient_walk.h"
#include "store/recipients.h"
#include "store/report_logs.h"
#include "store/spool.h"

#include <algorithm>
#include <map>

namespace {

constexpr std::size_t listed_recipients_limit = 10000;

// Text as the boxes hold it (CR LF) in the form a JSON client expects (LF).
std::string lf_text(std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

enum class Outcome { Pending, Sent, Failed, Unknown };

const char* outcome_name(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pending:
        return "pending";
    case Outcome::Sent:
        return "sent";
    case Outcome::Failed:
        return "failed";
    case Outcome::Unknown:
        return "unknown";
    }
    return "unknown";
}

struct Found {
    Outcome outcome = Outcome::Pending;
    std::string time;
};

// Looks for the report lines of the record's recipients. A log is named by the day its engine started,
// and an engine started earlier goes on into later days, so the record's day and the days before it are
// searched, newest first, until every recipient has its line. Record numbers start again every day: in
// the log of the record's own day its lines come before those of later days, in an older log after
// those of earlier days, so the first and the last match are taken there. A success beats a failure
// (a recipient in flight at a restart may have gone twice).
void find_outcomes(const std::string& day, long record, const RecipientWalk& walk, std::map<long, Found>& found) {
    std::map<long, const WalkedRecipient*> by_index;
    for (const WalkedRecipient& r : walk.recipients) {
        by_index.emplace(r.index, &r);
    }
    std::vector<std::string> days = report_log_days_up_to({"SUCC", "FAIL"}, day);
    for (const std::string& log_day : days) {
        bool same_day = log_day == day;
        for (auto [kind, outcome] : {std::pair{"SUCC", Outcome::Sent}, std::pair{"FAIL", Outcome::Failed}}) {
            std::map<long, Found> in_this_log;
            for (const ReportLine& line : read_report_log(report_log_path(kind, log_day))) {
                auto it = by_index.find(line.index);
                if (line.record != record || it == by_index.end() ||
                    (it->second->phone && line.phone != it->second->recipient_gbk)) {
                    continue;
                }
                if (same_day && in_this_log.count(line.index)) {
                    continue;
                }
                in_this_log[line.index] = {outcome, line.time};
            }
            for (auto& [index, f] : in_this_log) {
                Found& have = found[index];
                if (have.outcome == Outcome::Pending ||
                    (have.outcome == Outcome::Failed && f.outcome == Outcome::Sent)) {
                    have = f;
                }
            }
        }
        if (found.size() == by_index.size()) {
            break;
        }
    }
}

} // namespace

namespace {

// The recipients as the status lists them: range members are phone numbers; a line is one when it is
// written as one.
class ListedRecipients : public RecipientWalkVisitor {
public:
    ListedRecipients(RecipientWalk& walk, std::size_t limit) : walk_(walk), limit_(limit) {}

    bool recipient(long index, const std::string& recipient, bool range_member) override {
        return add(index, recipient, range_member || is_phone_number(recipient));
    }
    bool bad_range(long index, const std::string& prepared) override { return add(index, prepared, false); }

private:
    bool add(long index, const std::string& text, bool phone) {
        if (walk_.recipients.size() >= limit_) {
            walk_.truncated = true;
            return false;
        }
        walk_.recipients.push_back({index, text, phone});
        return true;
    }

    RecipientWalk& walk_;
    std::size_t limit_;
};

} // namespace

RecipientWalk walk_recipients(const std::string& recipients_text, std::size_t limit) {
    RecipientWalk walk;
    ListedRecipients visitor(walk, limit);
    walk.barred = walk_recipient_file(recipients_text, visitor) == WalkEnd::Barred;
    return walk;
}

std::optional<nlohmann::json> record_status_json(const std::string& day, long record) {
    long queued = read_counter(day, SpoolDir::New);
    if (record > queued) {
        return std::nullopt;
    }
    RecordTexts texts = read_record(day, SpoolDir::New, record);
    if (!texts.recipients || !texts.content) {
        return std::nullopt;
    }
    RecipientWalk walk = walk_recipients(*texts.recipients, listed_recipients_limit);
    long processed_counter = read_counter(day, SpoolDir::Send);
    bool processed = record <= processed_counter;
    long done = processed ? static_cast<long>(walk.recipients.size()) : 0;
    if (!processed) {
        std::optional<SendPosition> position = read_send_position(day);
        if (position && position->record == record) {
            done = position->done;
        }
    }
    std::map<long, Found> found;
    if (done > 0) {
        find_outcomes(day, record, walk, found);
    }

    std::string content = *texts.content;
    bool english = !content.empty() && content[0] == '\x02';
    if (english) {
        content = content.substr(1);
        if (content.size() >= 3 && content.compare(content.size() - 3, 3, "   ") == 0) {
            content.resize(content.size() - 3);
        }
    }
    nlohmann::json recipients = nlohmann::json::array();
    long position = 0;
    for (const WalkedRecipient& r : walk.recipients) {
        Found f;
        if (auto it = found.find(r.index); it != found.end()) {
            f = it->second;
        } else if (position < done) {
            // Handled by the engine, but no report line names it (a log that could not be written).
            f.outcome = Outcome::Unknown;
        }
        nlohmann::json entry = {
            {"to", gbk_to_utf8_lossy(r.recipient_gbk)}, {"index", r.index}, {"status", outcome_name(f.outcome)}};
        if (!f.time.empty()) {
            entry["time"] = f.time;
        }
        recipients.push_back(entry);
        ++position;
    }
    nlohmann::json answer = {
        {"day", day},         {"record", record},       {"text", gbk_to_utf8_lossy(lf_text(content))},
        {"english", english}, {"processed", processed}, {"recipients", recipients}};
    if (auto time = read_record_time(day, SpoolDir::New, record)) {
        answer["queued_at"] = *time;
    }
    if (walk.barred) {
        answer["barred"] = true;
    }
    if (walk.truncated) {
        answer["recipients_truncated"] = true;
    }
    return answer;
}
