#pragma once

#include "store/db/pg_connection.h"

#include <optional>
#include <string>
#include <vector>

// The shared queue's tables, created and upgraded by numbered migrations (store/db/migrations/NNNN_*.sql,
// built into the programs). schema_version holds the numbers applied.

struct Migration {
    int version;
    const char* name;
    const char* sql;
};

// Every migration, in version order.
const std::vector<Migration>& schema_migrations();
int latest_schema_version();

struct MigrationOutcome {
    bool ok = false;
    int from = 0; // the version found
    int to = 0;   // the version reached
    std::string error;
};

// Applies the migrations the database lacks, each in its own transaction, under a lock so two gateways
// starting at once do not both apply one. A database newer than these programs is left alone and
// refused.
MigrationOutcome migrate_schema(PgConnection& db);

// The version the database has (0: no tables yet), or nullopt when it cannot be read.
std::optional<int> schema_version(PgConnection& db);
