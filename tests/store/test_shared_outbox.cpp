// The shared queue's rows against a PostgreSQL server of the test's own: the migrations, claims that
// never hand one row to two gateways, leases that run out and are taken over, outcomes recorded only by
// the gateway that holds a row, and writers that queue nothing the database did not take.
#include "queue/shared_enqueue.h"
#include "platform/gbk.h"
#include "store/db/db_schema.h"
#include "store/db/outbox.h"
#include "store/spool.h"
#include "support/hostile_input.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

namespace {

class SharedOutbox : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        pg = std::make_unique<PgServer>(dir() + "/pg");
        ASSERT_TRUE(pg->ready()) << pg->error();
        db = PgConnection::open(pg->dsn());
        ASSERT_TRUE(db->ok()) << db->error();
        ASSERT_TRUE(migrate_schema(*db).ok) << db->error();
    }
    void TearDown() override {
        db.reset();
        pg.reset();
        TempDirTest::TearDown();
    }
    void queue(long record, std::vector<std::string> numbers, const std::string& origin = "w") {
        OutboxMessage m{origin, "2004-5-6", record, std::move(numbers), "hello", true, false, std::nullopt};
        ASSERT_TRUE(add_to_outbox(*db, m)) << db->error();
    }
    long long value(const std::string& sql) { return std::stoll(pg->psql_value(sql).value_or("-1")); }

    std::unique_ptr<PgServer> pg;
    std::unique_ptr<PgConnection> db;
};

TEST_F(SharedOutbox, MigrationsRunOnceAndAgainChangeNothing) {
    EXPECT_EQ(schema_version(*db), latest_schema_version());
    MigrationOutcome again = migrate_schema(*db);
    EXPECT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.from, latest_schema_version());
    EXPECT_EQ(again.to, latest_schema_version());
    EXPECT_EQ(value("SELECT count(*) FROM schema_version"), latest_schema_version());
    // A database newer than the programs is refused, not touched.
    ASSERT_TRUE(db->run("INSERT INTO schema_version (version, name) VALUES (999, 'future')"));
    MigrationOutcome newer = migrate_schema(*db);
    EXPECT_FALSE(newer.ok);
    EXPECT_NE(newer.error.find("newer"), std::string::npos) << newer.error;
}

TEST_F(SharedOutbox, GatewaysMigratingAtOnceAllSucceedAndApplyItOnce) {
    ASSERT_TRUE(db->run_script("DROP TABLE delivery, inbox, outbox, schema_version"));
    std::vector<MigrationOutcome> outcomes(4);
    std::vector<std::thread> gateways;
    for (int g = 0; g < 4; ++g) {
        gateways.emplace_back([&, g] {
            std::unique_ptr<PgConnection> own = PgConnection::open(pg->dsn());
            outcomes[g] = migrate_schema(*own);
        });
    }
    for (std::thread& t : gateways) {
        t.join();
    }
    int applied = 0;
    for (const MigrationOutcome& o : outcomes) {
        EXPECT_TRUE(o.ok) << o.error;
        applied += o.from != o.to;
    }
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(value("SELECT count(*) FROM schema_version"), latest_schema_version());
}

TEST_F(SharedOutbox, ConcurrentClaimsNeverShareARow) {
    std::vector<std::string> numbers;
    for (int i = 0; i < 400; ++i) {
        numbers.push_back(std::to_string(13900000000LL + i));
    }
    queue(1, numbers);
    std::vector<std::vector<long long>> taken(4);
    std::vector<std::thread> gateways;
    for (int g = 0; g < 4; ++g) {
        gateways.emplace_back([&, g] {
            std::unique_ptr<PgConnection> own = PgConnection::open(pg->dsn());
            while (true) {
                auto rows = claim_recipients(*own, "g" + std::to_string(g), 7, 60);
                if (!rows || rows->empty()) {
                    return;
                }
                for (const ClaimedRecipient& row : *rows) {
                    taken[g].push_back(row.id);
                }
            }
        });
    }
    for (std::thread& t : gateways) {
        t.join();
    }
    std::set<long long> all;
    std::size_t total = 0;
    for (const auto& ids : taken) {
        all.insert(ids.begin(), ids.end());
        total += ids.size();
    }
    EXPECT_EQ(total, 400u);
    EXPECT_EQ(all.size(), 400u);
    EXPECT_EQ(value("SELECT count(*) FROM outbox WHERE state = 'leased' AND attempts = 1"), 400);
}

TEST_F(SharedOutbox, ARowIsClaimedOldestFirstWithItsMessage) {
    queue(1, {"13900000001", "13900000002"});
    queue(2, {"13900000003"}, "other");
    auto rows = claim_recipients(*db, "g", 2, 60);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].number, "13900000001");
    EXPECT_EQ((*rows)[0].idx, 1);
    EXPECT_EQ((*rows)[1].idx, 2);
    EXPECT_EQ((*rows)[0].record, 1);
    EXPECT_EQ((*rows)[0].origin, "w");
    EXPECT_EQ((*rows)[0].body, "hello");
    EXPECT_TRUE((*rows)[0].english);
    EXPECT_EQ((*rows)[0].attempts, 1);
}

TEST_F(SharedOutbox, AnExpiredLeaseIsTakenOverAndTheOldHolderLosesTheRow) {
    queue(1, {"13900000001"});
    auto first = claim_recipients(*db, "dead", 5, 60);
    ASSERT_TRUE(first && first->size() == 1);
    long long id = first->front().id;
    // A live lease is not claimed again.
    EXPECT_TRUE(claim_recipients(*db, "other", 5, 60)->empty());
    EXPECT_EQ(renew_lease(*db, id, "other", 60), LeaseCheck::Lost);
    EXPECT_EQ(renew_lease(*db, id, "dead", 60), LeaseCheck::Held);
    // The holder dies: its lease runs out.
    ASSERT_TRUE(db->run("UPDATE outbox SET lease_until = now() - interval '1 second'"));
    auto second = claim_recipients(*db, "other", 5, 60);
    ASSERT_TRUE(second && second->size() == 1);
    EXPECT_EQ(second->front().attempts, 2);
    EXPECT_EQ(renew_lease(*db, id, "dead", 60), LeaseCheck::Lost);
    EXPECT_EQ(complete_recipient(*db, id, "dead", true, "sent"), Completion::NotOurs);
    EXPECT_EQ(complete_recipient(*db, id, "other", false, "+CMS ERROR: 38"), Completion::Recorded);
    EXPECT_EQ(pg->psql_value("SELECT state || ' ' || gateway || ' ' || result FROM outbox"),
              "failed other +CMS ERROR: 38");
    // A finished row is nobody's to renew or claim.
    EXPECT_EQ(renew_lease(*db, id, "other", 60), LeaseCheck::Lost);
    EXPECT_TRUE(claim_recipients(*db, "third", 5, 60)->empty());
}

TEST_F(SharedOutbox, RowsGivenBackAreClaimedAtOnceByOthers) {
    queue(1, {"13900000001", "13900000002", "13900000003"});
    auto rows = claim_recipients(*db, "stopping", 3, 600);
    ASSERT_TRUE(rows && rows->size() == 3);
    ASSERT_TRUE(release_recipients(*db, "stopping", {(*rows)[1].id, (*rows)[2].id}));
    // Only rows still its own are given back.
    ASSERT_TRUE(release_recipients(*db, "somebody", {(*rows)[0].id}));
    auto taken = claim_recipients(*db, "other", 5, 60);
    ASSERT_TRUE(taken);
    ASSERT_EQ(taken->size(), 2u);
    EXPECT_EQ(taken->front().attempts, 1);
}

TEST_F(SharedOutbox, StatusCountsAndSettledRecords) {
    queue(1, {"13900000001", "13900000002"});
    queue(2, {"13900000003"});
    queue(3, {"13900000004"});
    auto rows = claim_recipients(*db, "g1", 3, 60);
    ASSERT_TRUE(rows && rows->size() == 3);
    EXPECT_EQ(settled_up_to(*db, "w", "2004-5-6"), 0);
    ASSERT_EQ(complete_recipient(*db, (*rows)[0].id, "g1", true, "sent"), Completion::Recorded);
    ASSERT_EQ(complete_recipient(*db, (*rows)[1].id, "g1", false, "ERROR"), Completion::Recorded);
    ASSERT_EQ(complete_recipient(*db, (*rows)[2].id, "g1", true, "sent"), Completion::Recorded);
    EXPECT_EQ(settled_up_to(*db, "w", "2004-5-6"), 2);
    ASSERT_TRUE(db->run("UPDATE outbox SET state = 'sent' WHERE record = 3"));
    EXPECT_EQ(settled_up_to(*db, "w", "2004-5-6"), 3);
    EXPECT_EQ(settled_up_to(*db, "nobody", "2004-5-6"), 0);
    ASSERT_TRUE(add_to_inbox(*db, "g1", "2004-5-6", 1, "13800000001", "*P1"));
    auto status = shared_queue_status(*db);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->all.sent, 3);
    EXPECT_EQ(status->all.failed, 1);
    EXPECT_EQ(status->all.pending, 0);
    EXPECT_EQ(status->per_gateway["g1"].sent, 2);
    EXPECT_EQ(status->per_gateway["g1"].failed, 1);
    EXPECT_EQ(status->received, 1);
}

TEST_F(SharedOutbox, AWriterQueuesTheRecordAndItsRowsTogetherOrNeither) {
    DbSettings settings;
    settings.dsn = pg->dsn();
    settings.gateway = "writer";
    SharedWriter writer(settings);
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    EnqueueResult queued = enqueue_shared(writer, gbk("13900000001\r\n13900000002-13900000004\r\n*13900000009"),
                                          gbk("你好"), false, clock);
    ASSERT_EQ(queued.status, EnqueueStatus::Queued) << queued.share_error;
    EXPECT_EQ(queued.record, 1);
    EXPECT_EQ(pg->psql_value("SELECT string_agg(number, ',' ORDER BY idx) FROM outbox WHERE origin = 'writer'"),
              "13900000001,13900000002,13900000003,13900000004");
    EXPECT_EQ(pg->psql_value("SELECT DISTINCT body || ' ' || coding FROM outbox"), "你好 ucs2");
    EXPECT_EQ(read_counter("2004-5-6", SpoolDir::New), 1);

    // The database goes away: nothing is queued, in the spool or anywhere.
    ASSERT_TRUE(pg->stop());
    EnqueueResult refused = enqueue_shared(writer, "13900000005", "hello", true, clock);
    EXPECT_EQ(refused.status, EnqueueStatus::SharingFailed);
    EXPECT_NE(refused.share_error.find("cannot reach the database"), std::string::npos) << refused.share_error;
    EXPECT_EQ(read_counter("2004-5-6", SpoolDir::New), 1);
    ASSERT_TRUE(pg->start()) << pg->error();
    EnqueueResult again = enqueue_shared(writer, "13900000005", "hello", true, clock);
    ASSERT_EQ(again.status, EnqueueStatus::Queued) << again.share_error;
    EXPECT_EQ(again.record, 2);
    EXPECT_EQ(pg->psql_value("SELECT body || ' ' || coding FROM outbox WHERE record = 2"), "hello    gsm7");
}

// The shared queue's writer refuses what every other writer refuses, before it looks a customer up or
// asks the database anything.
TEST_F(SharedOutbox, TheWriterRefusesHostileInputAndQueuesNothing) {
    make_hostile_directory();
    DbSettings settings;
    settings.dsn = pg->dsn();
    settings.gateway = "writer";
    SharedWriter writer(settings);
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    for (const HostileCase& c : hostile_table().refused) {
        SCOPED_TRACE(c.name);
        EnqueueResult r = enqueue_shared(writer, hostile_box(c.to), gbk(c.text), false, clock, true);
        EXPECT_NE(r.status, EnqueueStatus::Queued);
        EXPECT_NE(r.status, EnqueueStatus::SharingFailed);
    }
    EXPECT_EQ(value("SELECT count(*) FROM outbox"), 0);
    EXPECT_EQ(read_counter("2004-5-6", SpoolDir::New), 0);
    EnqueueResult good =
        enqueue_shared(writer, hostile_box(hostile_table().good_to), gbk(hostile_table().good_text), false, clock);
    ASSERT_EQ(good.status, EnqueueStatus::Queued) << good.share_error;
    EXPECT_EQ(pg->psql_value("SELECT string_agg(number, ',' ORDER BY idx) FROM outbox"),
              "13900000009,13900000001,13900000001,13900000002,13900000003");
}

// A record whose spool counter could not be written after its rows were committed was reported as not
// queued; the next record takes its number, and the unsent rows of the first give way to it.
TEST_F(SharedOutbox, ARecordNumberTakenAgainReplacesTheUnsentRowsOfTheFailedOne) {
    queue(1, {"13900000001", "13900000002", "13900000003"});
    OutboxMessage again{"w", "2004-5-6", 1, {"13900000009"}, "second", false, false, std::nullopt};
    ASSERT_TRUE(add_to_outbox(*db, again)) << db->error();
    EXPECT_EQ(pg->psql_value("SELECT string_agg(number || ' ' || body, ',') FROM outbox"), "13900000009 second");
}

} // namespace
