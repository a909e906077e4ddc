// How fast gateways move recipients through the shared queue when the modem costs nothing: three
// gateways (threads with a connection each) claim batches, renew each lease, and record each outcome,
// exactly as vmsmsd does around every send, against a PostgreSQL server started for the run.
//
//   bench/shared_queue_rate [ROWS] [GATEWAYS] [BATCH]      (defaults 30000 3 10)
//
// Prints recipients per second over all gateways and the time the queue adds to each message.
#include "store/db/db_schema.h"
#include "store/db/outbox.h"
#include "support/pg_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool fill(PgConnection& db, int rows) {
    constexpr int per_message = 1000;
    for (int record = 1; record * per_message <= rows; ++record) {
        OutboxMessage message{"bench", "2026-12-10", record, {}, "hello", true, false, std::nullopt};
        for (int i = 0; i < per_message; ++i) {
            message.numbers.push_back(std::to_string(13900000000LL + record * per_message + i));
        }
        if (!add_to_outbox(db, message)) {
            std::fprintf(stderr, "cannot queue: %s\n", db.error().c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 30000;
    int gateways = argc > 2 ? std::atoi(argv[2]) : 3;
    int batch = argc > 3 ? std::atoi(argv[3]) : 10;
    std::string dir = std::filesystem::temp_directory_path() / ("vmsms-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    int status = 1;
    {
        PgServer pg(dir + "/pg");
        std::unique_ptr<PgConnection> db = pg.ready() ? PgConnection::open(pg.dsn()) : nullptr;
        if (!db || !db->ok() || !migrate_schema(*db).ok || !fill(*db, rows)) {
            std::fprintf(stderr, "cannot set the database up: %s\n", db ? db->error().c_str() : pg.error().c_str());
        } else {
            std::atomic<long> done{0};
            std::vector<double> busy(gateways, 0.0);
            std::vector<std::thread> threads;
            Clock::time_point start = Clock::now();
            for (int g = 0; g < gateways; ++g) {
                threads.emplace_back([&, g] {
                    std::unique_ptr<PgConnection> own = PgConnection::open(pg.dsn());
                    std::string name = "g" + std::to_string(g);
                    while (true) {
                        auto claimed = claim_recipients(*own, name, batch, 60);
                        if (!claimed || claimed->empty()) {
                            break;
                        }
                        for (const ClaimedRecipient& row : *claimed) {
                            if (renew_lease(*own, row.id, name, 60) == LeaseCheck::Held &&
                                complete_recipient(*own, row.id, name, true, "sent") == Completion::Recorded) {
                                ++done;
                            }
                        }
                    }
                    busy[g] = seconds_since(start);
                });
            }
            for (std::thread& t : threads) {
                t.join();
            }
            double elapsed = seconds_since(start);
            double per_gateway_ms = 0;
            for (double b : busy) {
                per_gateway_ms += b * 1000.0;
            }
            std::printf("shared queue: %ld of %d recipients claimed, renewed and completed by %d gateways "
                        "(batch %d) in %.2f s\n",
                        done.load(), rows, gateways, batch, elapsed);
            std::printf("throughput:   %.0f recipients/s (target over 2000)\n", done.load() / elapsed);
            std::printf("added latency per message (one gateway's database time): %.3f ms\n",
                        per_gateway_ms / static_cast<double>(done.load()));
            status = done.load() == rows ? 0 : 1;
        }
    }
    std::filesystem::remove_all(dir);
    return status;
}
