#pragma once

#include "store/db/pg_connection.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// The shared queue's rows: one per recipient in the outbox, claimed by gateways under a lease, and
// one per received message in the inbox. Texts are UTF-8.

// One message as a writer queues it: its local copy (origin, day, record) and its recipients' numbers.
struct OutboxMessage {
    std::string origin; // the writer's gateway name
    std::string day;
    long record = 0;
    std::vector<std::string> numbers; // in the record's order; row idx is the place from 1
    std::string body;
    bool english = false; // the GSM alphabet; else UCS-2
    bool long_message = false;
    std::optional<long long> reply_to; // the inbox row an on-demand reply answers
};

// Inserts the message's rows; run it inside the writer's transaction.
bool add_to_outbox(PgConnection& db, const OutboxMessage& message);

struct ClaimedRecipient {
    long long id = 0;
    std::string origin;
    std::string day;
    long record = 0;
    long idx = 0;
    std::string number;
    std::string body;
    bool english = false;
    bool long_message = false;
    int attempts = 0; // this claim included
};

// Claims up to `batch` rows waiting to be sent (pending, or leased by a gateway whose lease ran out),
// oldest first, skipping rows another gateway is claiming at this moment; they are `gateway`'s for
// `lease_seconds`. Nullopt when the database failed.
std::optional<std::vector<ClaimedRecipient>> claim_recipients(PgConnection& db, const std::string& gateway, int batch,
                                                              int lease_seconds);

enum class LeaseCheck { Held, Lost, Failed };

// Just before a row is sent: whether it is still `gateway`'s (its lease not run out, nobody else
// claimed it since), renewing the lease when it is.
LeaseCheck renew_lease(PgConnection& db, long long id, const std::string& gateway, int lease_seconds);

enum class Completion { Recorded, NotOurs, Failed };

// The outcome of sending a row: sent, or failed with the modem's word in `result`. NotOurs: another
// gateway holds it now (its lease ran out while it was being sent).
Completion complete_recipient(PgConnection& db, long long id, const std::string& gateway, bool sent,
                              const std::string& result);

// Gives back rows this gateway claimed and did not send (it is stopping): pending again at once.
bool release_recipients(PgConnection& db, const std::string& gateway, const std::vector<long long>& ids);

// The last record of `day` this gateway has put into the inbox (0 for none); nullopt on a failure.
std::optional<long> last_inbox_record(PgConnection& db, const std::string& gateway, const std::string& day);

// The outbox row this gateway sent to `number` as recipient `idx` (1-based) of `record`, the latest when
// it sent it more than once; nullopt for none. False on a failure.
bool find_sent_row(PgConnection& db, const std::string& gateway, const std::string& number, long record, long idx,
                   std::optional<long long>& id);

// Records a received message; the row's id, or nullopt when the database failed.
std::optional<long long> add_to_inbox(PgConnection& db, const std::string& gateway, const std::string& day, long record,
                                      const std::string& sender, const std::string& body);

// A delivery report for the row `outbox_id` (nullopt when no row is known for it).
bool add_delivery(PgConnection& db, std::optional<long long> outbox_id, const std::string& gateway,
                  const std::string& number, int reference, int status, const std::string& outcome);

struct QueueFigures {
    long long pending = 0;
    long long leased = 0;
    long long expired = 0; // leased, but the lease ran out: any gateway may claim them
    long long sent = 0;
    long long failed = 0;
};

struct SharedQueueStatus {
    QueueFigures all;
    std::map<std::string, QueueFigures> per_gateway; // by the gateway that claimed them last
    long long received = 0;
};

std::optional<SharedQueueStatus> shared_queue_status(PgConnection& db);

// The highest record of `origin`'s `day` up to which every record's rows are all sent or failed (0 when
// the first is not), so the local copies can be marked handled in order.
std::optional<long> settled_up_to(PgConnection& db, const std::string& origin, const std::string& day);
