#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A PostgreSQL server of a test's own: a fresh cluster in `dir` (data in `dir`/data, log in
// `dir`/server.log), reached only through a Unix socket in `dir`, with the settings that make tests fast
// (no fsync). Nothing is shared between two servers, so tests may run several at once.
//
// PostgreSQL refuses to run as root, so as root the server runs as the user nobody: `dir` is given to
// nobody, and any parent directory nobody cannot pass through gets search permission for others (a
// 0700 temporary directory becomes 0701). The server is stopped when the object goes, and no process of
// it is left behind. Nothing here throws; a failure shows in ready() and error().
class PgServer {
public:
    explicit PgServer(const std::string& dir);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Whether the server was set up, started and given the database "vmsms".
    bool ready() const { return ready_; }
    // What went wrong last, with the tail of the server's log.
    std::string error() const;
    // A libpq connection string for the database "vmsms" as its owner.
    std::string dsn() const;
    const std::string& socket_dir() const { return dir_; }
    const std::string& data_dir() const { return data_; }
    int port() const { return port_; }

    // Stops the server (fast shutdown: sessions are ended) and waits; start() brings it back with its data.
    bool stop();
    bool start();
    bool restart() { return stop() && start(); }
    // Kills the server at once with SIGKILL, the postmaster and every process of it, as a crash of the
    // machine would, and waits until none is left. Its clients see their connections break; start()
    // then recovers from the log.
    void kill_hard();
    // The running processes of the server (the postmaster and its children).
    std::vector<pid_t> processes() const;

    // The first column of the first row of one query on the test database ("" for NULL), or nullopt on
    // error (then error() says why). Safe to call from several threads.
    std::optional<std::string> psql_value(const std::string& sql) const;

private:
    bool run_tool(const std::string& tool, const std::vector<std::string>& args) const;
    bool wait_until_accepting() const;
    bool kill_all(int seconds);
    bool fail(const std::string& what) const;

    std::string dir_;
    std::string data_;
    std::string bin_;
    int port_ = 0;
    bool ready_ = false;
    mutable std::mutex error_lock_;
    mutable std::string error_;
};

// Percent-encodes what a URI's query value cannot hold as it is (a socket directory in a DSN's host=).
std::string uri_encoded(const std::string& text);
