#pragma once

#include "store/db/db_settings.h"
#include "store/db/pg_connection.h"

#include <memory>
#include <string>

// The one connection a program keeps to the shared queue's database: opened when first needed, and
// again after it was lost; the tables' version is checked at every opening, so nothing is read from or
// written to tables older than the programs.
class SharedConnection {
public:
    enum class Failure {
        None,
        Unreachable,       // the server could not be reached or refused us
        VersionUnreadable, // connected, but the tables' version could not be read
        TablesTooOld,      // no tables yet, or older ones: vmsmsd --init-db brings them up to date
    };

    SharedConnection(DbSettings settings, int connect_timeout_seconds)
        : settings_(std::move(settings)), timeout_(connect_timeout_seconds) {}

    const DbSettings& settings() const { return settings_; }

    // A live connection, or nullptr with failure() and detail() (the database's words) saying why.
    PgConnection* get();
    // The connection as it is, without trying to open one: nullptr when there is none.
    PgConnection* current() const { return db_.get(); }
    void drop() { db_.reset(); }

    Failure failure() const { return failure_; }
    const std::string& detail() const { return detail_; }

private:
    DbSettings settings_;
    int timeout_;
    std::unique_ptr<PgConnection> db_;
    Failure failure_ = Failure::None;
    std::string detail_;
};
