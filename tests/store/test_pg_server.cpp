// The tests' own PostgreSQL server: it starts in a temporary directory (as nobody when the tests run as
// root), keeps what was committed across a stop and across a crash, does not meet a second server
// started beside it, and leaves no process behind.
#include "support/pg_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <fstream>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace {

// A client connection of the test's own, closed when it goes.
struct Connection {
    explicit Connection(const std::string& dsn) : db(PQconnectdb(dsn.c_str())) {}
    ~Connection() { PQfinish(db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return PQstatus(db) == CONNECTION_OK; }
    bool run(const std::string& sql) {
        PGresult* result = PQexec(db, sql.c_str());
        ExecStatusType status = PQresultStatus(result);
        PQclear(result);
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    std::string error() const { return PQerrorMessage(db); }
    PGconn* db;
};

// Whether a process is still running as postgres (not gone, not a zombie waiting to be reaped).
bool live_postgres(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line) || line.find("(postgres)") == std::string::npos) {
        return false;
    }
    char state = line[line.rfind(')') + 2];
    return state != 'Z' && state != 'X';
}

uid_t owner_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            return static_cast<uid_t>(std::stoul(line.substr(4)));
        }
    }
    return static_cast<uid_t>(-1);
}

class PgServerTest : public TempDirTest {};

TEST_F(PgServerTest, KeepsCommittedRowsAcrossStopAndCrashAndLeavesNothingRunning) {
    std::vector<pid_t> seen;
    {
        std::unique_ptr<Connection> client; // outlives the server below
        PgServer pg(dir() + "/pg");
        ASSERT_TRUE(pg.ready()) << pg.error();
        EXPECT_TRUE(exists(pg.socket_dir() + "/.s.PGSQL." + std::to_string(pg.port())));
        // Reachable through its socket only.
        EXPECT_EQ(pg.psql_value("SHOW listen_addresses"), "");
        std::vector<pid_t> running = pg.processes();
        ASSERT_FALSE(running.empty());
        // PostgreSQL will not run as root: as root the server is nobody's.
        uid_t expected = ::geteuid();
        if (expected == 0) {
            expected = ::getpwnam("nobody")->pw_uid;
        }
        for (pid_t pid : running) {
            EXPECT_EQ(owner_of(pid), expected) << pid;
        }

        {
            Connection c(pg.dsn());
            ASSERT_TRUE(c.ok()) << c.error();
            ASSERT_TRUE(c.run("CREATE TABLE t (n int, s text)"));
            ASSERT_TRUE(c.run("INSERT INTO t VALUES (1, 'before stop')"));
        }
        EXPECT_EQ(pg.psql_value("SELECT s FROM t WHERE n = 1"), "before stop");

        ASSERT_TRUE(pg.stop()) << pg.error();
        EXPECT_TRUE(pg.processes().empty());
        EXPECT_EQ(pg.psql_value("SELECT 1"), std::nullopt);
        EXPECT_NE(pg.error().find("cannot connect"), std::string::npos) << pg.error();
        ASSERT_TRUE(pg.start()) << pg.error();
        EXPECT_EQ(pg.psql_value("SELECT s FROM t WHERE n = 1"), "before stop");

        // A row committed just before the crash is there after recovery; a client's session is cut off.
        client = std::make_unique<Connection>(pg.dsn());
        ASSERT_TRUE(client->ok()) << client->error();
        ASSERT_TRUE(client->run("INSERT INTO t VALUES (2, 'before crash')"));
        running = pg.processes();
        seen.insert(seen.end(), running.begin(), running.end());
        pg.kill_hard();
        EXPECT_TRUE(pg.processes().empty());
        for (pid_t pid : running) {
            EXPECT_FALSE(live_postgres(pid)) << pid;
        }
        EXPECT_FALSE(client->run("SELECT 1"));
        ASSERT_TRUE(pg.start()) << pg.error();
        EXPECT_EQ(pg.psql_value("SELECT string_agg(s, ',' ORDER BY n) FROM t"), "before stop,before crash");
        EXPECT_NE(file_bytes(pg.socket_dir() + "/server.log").find("not properly shut down"), std::string::npos);

        ASSERT_TRUE(pg.restart()) << pg.error();
        EXPECT_EQ(pg.psql_value("SELECT count(*) FROM t"), "2");
        running = pg.processes();
        seen.insert(seen.end(), running.begin(), running.end());
        // Left running, with a client still connected: the destructor has to end it.
        client = std::make_unique<Connection>(pg.dsn());
        ASSERT_TRUE(client->ok() && client->run("BEGIN; INSERT INTO t VALUES (3, 'open')")) << client->error();
    }
    for (pid_t pid : seen) {
        EXPECT_FALSE(live_postgres(pid)) << pid;
    }
}

TEST_F(PgServerTest, TwoServersSideBySideStayApart) {
    PgServer a(dir() + "/a");
    PgServer b(dir() + "/b");
    ASSERT_TRUE(a.ready()) << a.error();
    ASSERT_TRUE(b.ready()) << b.error();
    EXPECT_NE(a.dsn(), b.dsn());
    ASSERT_EQ(a.psql_value("CREATE TABLE only_a (n int); SELECT 'made'"), "made") << a.error();
    EXPECT_EQ(b.psql_value("SELECT count(*) FROM only_a"), std::nullopt);
    EXPECT_NE(b.error().find("only_a"), std::string::npos) << b.error();
    // Each stops and crashes alone.
    a.kill_hard();
    EXPECT_EQ(b.psql_value("SELECT 'b still up'"), "b still up") << b.error();
    ASSERT_TRUE(a.start()) << a.error();
    EXPECT_EQ(a.psql_value("SELECT count(*) FROM only_a"), "0");
}

TEST_F(PgServerTest, ADirectoryItCannotUseIsReportedNotThrown) {
    put_file(dir() + "/plain-file", "x");
    std::unique_ptr<PgServer> pg;
    ASSERT_NO_THROW(pg = std::make_unique<PgServer>(dir() + "/plain-file/pg"));
    EXPECT_FALSE(pg->ready());
    EXPECT_NE(pg->error().find("plain-file"), std::string::npos) << pg->error();
    EXPECT_FALSE(pg->start());
    EXPECT_EQ(pg->psql_value("SELECT 1"), std::nullopt);
    EXPECT_TRUE(pg->processes().empty());
}

} // namespace
