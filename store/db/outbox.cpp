#include "store/db/outbox.h"

#include <algorithm>
#include <string>

namespace {

// Arrays go to the server as one text each, in PostgreSQL's array syntax, every element quoted.
std::string text_array(const std::vector<std::string>& items) {
    std::string array = "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            array += ',';
        }
        array += '"';
        for (char c : items[i]) {
            if (c == '"' || c == '\\') {
                array += '\\';
            }
            array += c;
        }
        array += '"';
    }
    return array + "}";
}

std::string id_array(const std::vector<long long>& ids) {
    std::string array = "{";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        array += (i > 0 ? "," : "") + std::to_string(ids[i]);
    }
    return array + "}";
}

void add_figure(QueueFigures& figures, const std::string& state, bool expired, long long count) {
    if (state == "pending") {
        figures.pending += count;
    } else if (state == "leased") {
        (expired ? figures.expired : figures.leased) += count;
    } else if (state == "sent") {
        figures.sent += count;
    } else if (state == "failed") {
        figures.failed += count;
    }
}

} // namespace

bool add_to_outbox(PgConnection& db, const OutboxMessage& m) {
    if (m.numbers.empty()) {
        return true;
    }
    // Rows already under this record's number are those of a record whose spool counter could not be
    // written after they were committed (its writer was told it failed): still unsent, they give way.
    std::string count = std::to_string(m.numbers.size());
    return db.run("DELETE FROM outbox WHERE origin = $1 AND day = $2 AND record = $3 AND idx > $4"
                  " AND state = 'pending'",
                  {m.origin, m.day, std::to_string(m.record), count})
               .has_value() &&
           db.run("INSERT INTO outbox (origin, day, record, idx, number, body, coding, long_message, reply_to) "
                  "SELECT $1, $2, $3, n.idx, n.number, $5, $6, $7, $8 "
                  "FROM unnest($4::text[]) WITH ORDINALITY AS n(number, idx) "
                  "ON CONFLICT (origin, day, record, idx) DO UPDATE SET number = EXCLUDED.number,"
                  " body = EXCLUDED.body, coding = EXCLUDED.coding, long_message = EXCLUDED.long_message,"
                  " reply_to = EXCLUDED.reply_to, created_at = now() WHERE outbox.state = 'pending'",
                  {m.origin, m.day, std::to_string(m.record), text_array(m.numbers), m.body,
                   m.english ? "gsm7" : "ucs2", m.long_message ? "true" : "false",
                   m.reply_to ? std::optional<std::string>(std::to_string(*m.reply_to)) : std::nullopt})
               .has_value();
}

std::optional<std::vector<ClaimedRecipient>> claim_recipients(PgConnection& db, const std::string& gateway, int batch,
                                                              int lease_seconds) {
    std::optional<PgResult> rows = db.run(
        "WITH waiting AS ("
        "  SELECT id FROM outbox"
        "  WHERE state = 'pending' OR (state = 'leased' AND lease_until < now())"
        "  ORDER BY id LIMIT $2 FOR UPDATE SKIP LOCKED)"
        " UPDATE outbox o SET state = 'leased', gateway = $1, leased_at = now(),"
        "  lease_until = now() + make_interval(secs => $3), attempts = o.attempts + 1"
        " FROM waiting WHERE o.id = waiting.id"
        " RETURNING o.id, o.origin, o.day, o.record, o.idx, o.number, o.body, o.coding, o.long_message, o.attempts",
        {gateway, std::to_string(batch), std::to_string(lease_seconds)});
    if (!rows) {
        return std::nullopt;
    }
    std::vector<ClaimedRecipient> claimed;
    for (int r = 0; r < rows->rows(); ++r) {
        claimed.push_back({rows->number(r, 0), rows->text(r, 1), rows->text(r, 2),
                           static_cast<long>(rows->number(r, 3)), static_cast<long>(rows->number(r, 4)),
                           rows->text(r, 5), rows->text(r, 6), rows->text(r, 7) == "gsm7", rows->text(r, 8) == "t",
                           static_cast<int>(rows->number(r, 9))});
    }
    // RETURNING gives no order; the oldest goes first.
    std::sort(claimed.begin(), claimed.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return claimed;
}

LeaseCheck renew_lease(PgConnection& db, long long id, const std::string& gateway, int lease_seconds) {
    std::optional<PgResult> result =
        db.run("UPDATE outbox SET lease_until = now() + make_interval(secs => $3)"
               " WHERE id = $1 AND gateway = $2 AND state = 'leased' AND lease_until >= now()",
               {std::to_string(id), gateway, std::to_string(lease_seconds)});
    if (!result) {
        return LeaseCheck::Failed;
    }
    return result->affected() == 1 ? LeaseCheck::Held : LeaseCheck::Lost;
}

Completion complete_recipient(PgConnection& db, long long id, const std::string& gateway, bool sent,
                              const std::string& result) {
    // A lease that ran out while the modem was busy still counts when nobody claimed the row since.
    std::optional<PgResult> done =
        db.run("UPDATE outbox SET state = $3, result = $4, done_at = now(), lease_until = NULL"
               " WHERE id = $1 AND gateway = $2 AND state = 'leased'",
               {std::to_string(id), gateway, sent ? "sent" : "failed", result});
    if (!done) {
        return Completion::Failed;
    }
    return done->affected() == 1 ? Completion::Recorded : Completion::NotOurs;
}

bool release_recipients(PgConnection& db, const std::string& gateway, const std::vector<long long>& ids) {
    if (ids.empty()) {
        return true;
    }
    return db
        .run("UPDATE outbox SET state = 'pending', lease_until = NULL, attempts = greatest(attempts - 1, 0)"
             " WHERE gateway = $1 AND state = 'leased' AND id = ANY($2::bigint[])",
             {gateway, id_array(ids)})
        .has_value();
}

std::optional<long> last_inbox_record(PgConnection& db, const std::string& gateway, const std::string& day) {
    std::optional<PgResult> last =
        db.run("SELECT coalesce(max(record), 0) FROM inbox WHERE gateway = $1 AND day = $2", {gateway, day});
    if (!last) {
        return std::nullopt;
    }
    return static_cast<long>(last->number(0, 0));
}

bool find_sent_row(PgConnection& db, const std::string& gateway, const std::string& number, long record, long idx,
                   std::optional<long long>& id) {
    std::optional<PgResult> row = db.run("SELECT id FROM outbox WHERE gateway = $1 AND number = $2 AND record = $3"
                                         " AND idx = $4 AND state = 'sent' ORDER BY done_at DESC LIMIT 1",
                                         {gateway, number, std::to_string(record), std::to_string(idx)});
    if (!row) {
        return false;
    }
    id.reset();
    if (row->rows() == 1) {
        id = row->number(0, 0);
    }
    return true;
}

std::optional<long long> add_to_inbox(PgConnection& db, const std::string& gateway, const std::string& day, long record,
                                      const std::string& sender, const std::string& body) {
    std::optional<PgResult> row = db.run("INSERT INTO inbox (gateway, day, record, sender, body)"
                                         " VALUES ($1, $2, $3, $4, $5)"
                                         " ON CONFLICT (gateway, day, record) DO UPDATE SET body = EXCLUDED.body"
                                         " RETURNING id",
                                         {gateway, day, std::to_string(record), sender, body});
    if (!row || row->rows() != 1) {
        return std::nullopt;
    }
    return row->number(0, 0);
}

bool add_delivery(PgConnection& db, std::optional<long long> outbox_id, const std::string& gateway,
                  const std::string& number, int reference, int status, const std::string& outcome) {
    return db
        .run("INSERT INTO delivery (outbox_id, gateway, number, reference, status, outcome)"
             " VALUES ($1, $2, $3, $4, $5, $6)",
             {outbox_id ? std::optional<std::string>(std::to_string(*outbox_id)) : std::nullopt, gateway, number,
              std::to_string(reference), std::to_string(status), outcome})
        .has_value();
}

std::optional<SharedQueueStatus> shared_queue_status(PgConnection& db) {
    std::optional<PgResult> rows =
        db.run("SELECT coalesce(gateway, ''), state, state = 'leased' AND lease_until < now(), count(*)"
               " FROM outbox GROUP BY 1, 2, 3");
    std::optional<PgResult> received = db.run("SELECT count(*) FROM inbox");
    if (!rows || !received) {
        return std::nullopt;
    }
    SharedQueueStatus status;
    for (int r = 0; r < rows->rows(); ++r) {
        std::string gateway = rows->text(r, 0);
        std::string state = rows->text(r, 1);
        bool expired = rows->text(r, 2) == "t";
        long long count = rows->number(r, 3);
        add_figure(status.all, state, expired, count);
        if (!gateway.empty()) {
            add_figure(status.per_gateway[gateway], state, expired, count);
        }
    }
    status.received = received->number(0, 0);
    return status;
}

std::optional<long> settled_up_to(PgConnection& db, const std::string& origin, const std::string& day) {
    // The first record with a row still to send; everything below it is settled.
    std::optional<PgResult> open = db.run("SELECT min(record) FROM outbox WHERE origin = $1 AND day = $2"
                                          " AND state IN ('pending', 'leased')",
                                          {origin, day});
    std::optional<PgResult> last =
        db.run("SELECT coalesce(max(record), 0) FROM outbox WHERE origin = $1 AND day = $2", {origin, day});
    if (!open || !last) {
        return std::nullopt;
    }
    if (open->is_null(0, 0)) {
        return static_cast<long>(last->number(0, 0));
    }
    return static_cast<long>(open->number(0, 0) - 1);
}
