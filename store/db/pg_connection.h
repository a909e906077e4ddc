#pragma once

#include "store/db/connection_string.h"

#include <libpq-fe.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A connection to PostgreSQL through libpq. Nothing here throws: every call says whether it worked and
// the connection keeps the server's last message, in one line.

// The rows of one statement's answer.
class PgResult {
public:
    explicit PgResult(PGresult* result) : result_(result, &PQclear) {}
    int rows() const { return PQntuples(result_.get()); }
    bool is_null(int row, int column) const { return PQgetisnull(result_.get(), row, column) != 0; }
    std::string text(int row, int column) const { return PQgetvalue(result_.get(), row, column); }
    long long number(int row, int column) const;
    // Rows an INSERT, UPDATE or DELETE touched.
    long long affected() const;

private:
    std::unique_ptr<PGresult, void (*)(PGresult*)> result_;
};

using PgParams = std::vector<std::optional<std::string>>;

class PgConnection {
public:
    // Connects to `dsn` (a postgresql:// URI or key=value string), waiting at most `timeout_seconds`.
    // Always gives a connection; ok() says whether it is up, error() why not. A string libpq cannot read
    // is not tried.
    static std::unique_ptr<PgConnection> open(const std::string& dsn, int timeout_seconds = 10);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    bool ok() const;
    // The last failure, one line: the server's message, or the client's when the server was not reached;
    // never the connection string's password, should libpq echo it.
    const std::string& error() const { return error_; }
    // Whether the last failure came from a connection that is gone (server restarted, network down);
    // such a connection must be opened again.
    bool lost() const;

    // Runs one statement with its parameters ($1, $2, ...; nullopt is NULL). Nullopt when it failed.
    std::optional<PgResult> run(const std::string& sql, const PgParams& params = {});
    // Runs statements without parameters (several separated by ';'); false when one failed.
    bool run_script(const std::string& sql);

private:
    friend class PgTransaction;
    PgConnection(PGconn* connection, ConnectionString dsn);
    void take_error(const PGresult* result);
    void set_error(const char* message);

    PGconn* connection_;
    ConnectionString dsn_;
    std::string error_;
};

// A transaction that rolls back unless committed.
class PgTransaction {
public:
    explicit PgTransaction(PgConnection& connection);
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    bool begun() const { return begun_; }
    bool commit();

private:
    PgConnection& connection_;
    bool begun_ = false;
    bool done_ = false;
};
