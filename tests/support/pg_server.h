#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A PostgreSQL server of a test's own: a fresh cluster in `dir`, reached only through a Unix socket in
// that directory, with the settings that make tests fast (no fsync). PostgreSQL refuses to run as root,
// so as root the server runs as the user nobody. The server is stopped when the object goes.
class PgServer {
public:
    explicit PgServer(const std::string& dir);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool ready() const { return ready_; }
    // What went wrong, with the tail of the server's log.
    std::string error() const;
    // A libpq connection string for the database "vmsms".
    std::string dsn() const;
    const std::string& socket_dir() const { return dir_; }
    int port() const { return port_; }

    // Stops the server (fast shutdown) and waits; start() brings it back with its data.
    bool stop();
    bool start();
    bool restart() { return stop() && start(); }
    // Kills the postmaster at once, as a crash would; start() recovers.
    void kill_hard();

    // The first column of the first row of one query on the test database, or nullopt on error.
    std::optional<std::string> psql_value(const std::string& sql) const;

private:
    bool run_tool(const std::string& tool, const std::vector<std::string>& args) const;
    pid_t postmaster_pid() const;

    std::string dir_;
    std::string data_;
    std::string bin_;
    int port_ = 0;
    bool ready_ = false;
    mutable std::string error_;
};
