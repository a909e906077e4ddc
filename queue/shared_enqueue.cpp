#include "queue/shared_enqueue.h"

#include "store/customer_lookup.h"
#include "platform/trace.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/db/outbox.h"
#include "store/recipient_walk.h"

PgConnection* SharedWriter::connection() {
    PgConnection* db = connection_.get();
    if (db) {
        return db;
    }
    const std::string dsn = dsn_for_display(settings().dsn);
    switch (connection_.failure()) {
    case SharedConnection::Failure::Unreachable:
        error_ = "cannot reach the database " + dsn + ": " + connection_.detail();
        break;
    case SharedConnection::Failure::TablesTooOld:
        error_ = "the database " + dsn + " has no shared queue tables yet: run vmsmsd --init-db";
        break;
    case SharedConnection::Failure::VersionUnreadable:
    case SharedConnection::Failure::None:
        error_ = connection_.detail();
        break;
    }
    return nullptr;
}

namespace {

// The numbers of a record's rows, customers looked up, at most `limit` of them.
class OutboxNumbers : public RecipientWalkVisitor {
public:
    explicit OutboxNumbers(std::size_t limit) : limit_(limit) {}

    bool recipient(long, const std::string& recipient, bool range_member) override {
        return add(range_member ? recipient : resolve_recipient(recipient, quiet_).phone);
    }
    bool bad_range(long, const std::string& prepared) override {
        // A bad range stays as it is: the gateway reports it as it would from its own spool.
        return add(prepared);
    }

    std::vector<std::string> numbers;
    bool too_many = false;

private:
    bool add(std::string number) {
        if (numbers.size() >= limit_) {
            too_many = true;
            return false;
        }
        numbers.push_back(std::move(number));
        return true;
    }

    std::size_t limit_;
    NullTrace quiet_;
};

} // namespace

std::optional<std::vector<std::string>> outbox_numbers(const std::string& recipients_file_text, std::size_t limit) {
    OutboxNumbers walk(limit);
    walk_recipient_file(recipients_file_text, walk);
    if (walk.too_many) {
        return std::nullopt;
    }
    return std::move(walk.numbers);
}

std::string outbox_body(const std::string& content_line_gbk) {
    bool english = !content_line_gbk.empty() && content_line_gbk[0] == '\x02';
    return gbk_to_utf8_lossy(english ? content_line_gbk.substr(1) : content_line_gbk);
}

std::string content_line_from_outbox(const std::string& body_utf8, bool english) {
    std::string line = utf8_to_gbk(body_utf8).value_or(std::string());
    return english ? std::string(1, '\x02') + line : line;
}

RecordShare outbox_share(SharedWriter& writer, const std::string& recipients_file_text,
                         const std::string& content_file_text, bool long_message) {
    // Customers are looked up now, before the caller takes the queue lock: a slow address book must
    // never hold up the other writers.
    std::optional<std::vector<std::string>> numbers = outbox_numbers(recipients_file_text, max_outbox_rows);
    return [&writer, numbers, content_file_text, long_message](const std::string& day, long record, std::string& why) {
        if (!numbers) {
            why = too_many_recipients_text();
            return false;
        }
        std::string line = cut_at_line_end(content_file_text);
        OutboxMessage message;
        message.origin = writer.settings().gateway;
        message.day = day;
        message.record = record;
        message.numbers.reserve(numbers->size());
        for (const std::string& number : *numbers) {
            message.numbers.push_back(gbk_to_utf8_lossy(number));
        }
        message.body = outbox_body(line);
        message.english = !line.empty() && line[0] == '\x02';
        message.long_message = long_message;
        // A kept connection may have gone stale (the database restarted since): one more try on a new one.
        for (int attempt = 0; attempt < 2; ++attempt) {
            PgConnection* db = writer.connection();
            if (!db) {
                why = writer.error();
                return false;
            }
            PgTransaction transaction(*db);
            if (transaction.begun() && add_to_outbox(*db, message) && transaction.commit()) {
                return true;
            }
            why = (db->lost() ? "lost the database connection: " : "the database refused the message: ") + db->error();
            if (!db->lost()) {
                return false;
            }
        }
        return false;
    };
}

EnqueueResult enqueue_shared(SharedWriter& writer, const std::string& recipients_box, const std::string& content_gbk,
                             bool english, Clock& clock, bool long_messages, std::chrono::milliseconds lock_wait,
                             const RecordShare& first) {
    // Refused input never reaches the address book or the database.
    EnqueueResult checked = check_message(recipients_box, content_gbk, english, long_messages);
    if (checked.status != EnqueueStatus::Queued) {
        checked.day = spool_date(clock.now());
        return checked;
    }
    RecordShare outbox = outbox_share(writer, recipients_for_file(recipients_box),
                                      content_for_file(content_gbk, english), long_messages);
    if (first) {
        outbox = [first, outbox](const std::string& day, long record, std::string& why) {
            return first(day, record, why) && outbox(day, record, why);
        };
    }
    return enqueue_message(recipients_box, content_gbk, english, clock, long_messages, outbox, lock_wait);
}
