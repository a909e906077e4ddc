#include "store/db/db_schema.h"

namespace {

// Any fixed number: the lock only keeps two migrating programs apart.
constexpr const char* migration_lock = "SELECT pg_advisory_xact_lock(7265401)";

constexpr const char* version_table =
    "CREATE TABLE IF NOT EXISTS schema_version ("
    " version integer PRIMARY KEY, name text NOT NULL, applied_at timestamptz NOT NULL DEFAULT now())";

std::optional<int> applied_version(PgConnection& db) {
    std::optional<PgResult> result = db.run("SELECT coalesce(max(version), 0) FROM schema_version");
    if (!result) {
        return std::nullopt;
    }
    return static_cast<int>(result->number(0, 0));
}

} // namespace

int latest_schema_version() {
    return schema_migrations().empty() ? 0 : schema_migrations().back().version;
}

std::optional<int> schema_version(PgConnection& db) {
    std::optional<PgResult> exists = db.run("SELECT to_regclass('schema_version') IS NOT NULL");
    if (!exists) {
        return std::nullopt;
    }
    if (exists->text(0, 0) != "t") {
        return 0;
    }
    return applied_version(db);
}

MigrationOutcome migrate_schema(PgConnection& db) {
    MigrationOutcome outcome;
    PgTransaction transaction(db);
    if (!transaction.begun() || !db.run(migration_lock) || !db.run(version_table)) {
        outcome.error = db.error();
        return outcome;
    }
    std::optional<int> found = applied_version(db);
    if (!found) {
        outcome.error = db.error();
        return outcome;
    }
    outcome.from = outcome.to = *found;
    if (*found > latest_schema_version()) {
        outcome.error = "the database has schema version " + std::to_string(*found) + ", newer than the " +
                        std::to_string(latest_schema_version()) + " these programs know";
        return outcome;
    }
    // All in the one transaction: a migration that fails leaves the database as it was.
    for (const Migration& m : schema_migrations()) {
        if (m.version <= *found) {
            continue;
        }
        if (!db.run_script(m.sql) || !db.run("INSERT INTO schema_version (version, name) VALUES ($1, $2)",
                                             {std::to_string(m.version), std::string(m.name)})) {
            outcome.error = "migration " + std::to_string(m.version) + " (" + m.name + "): " + db.error();
            outcome.to = outcome.from;
            return outcome;
        }
        outcome.to = m.version;
    }
    if (!transaction.commit()) {
        outcome.error = db.error();
        outcome.to = outcome.from;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}
