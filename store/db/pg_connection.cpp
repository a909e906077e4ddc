#include "store/db/pg_connection.h"

#include <cstdlib>

namespace {

// libpq's messages end in a line feed and may hold more lines (DETAIL, HINT); one line is kept.
std::string one_line(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return text.empty() ? "unknown database error" : text;
}

} // namespace

long long PgResult::number(int row, int column) const {
    return std::strtoll(PQgetvalue(result_.get(), row, column), nullptr, 10);
}

long long PgResult::affected() const {
    return std::strtoll(PQcmdTuples(result_.get()), nullptr, 10);
}

std::unique_ptr<PgConnection> PgConnection::open(const std::string& dsn, int timeout_seconds) {
    ConnectionString connection_string(dsn);
    if (!connection_string.readable()) {
        // libpq's own complaint would quote the string, password and all.
        std::unique_ptr<PgConnection> result(new PgConnection(nullptr, std::move(connection_string)));
        result->error_ = result->dsn_.problem();
        return result;
    }
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    std::string timeout = std::to_string(timeout_seconds);
    const char* values[] = {dsn.c_str(), timeout.c_str(), "vmsms", nullptr};
    // expand_dbname: the dsn is a whole connection string; the later keys fill in what it leaves out.
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    std::unique_ptr<PgConnection> result(new PgConnection(connection, std::move(connection_string)));
    if (!result->ok()) {
        result->set_error(connection ? PQerrorMessage(connection) : "out of memory");
    } else {
        // Answers in UTF-8 whatever the server's default; notices ("already exists, skipping") are not
        // printed on the program's standard error.
        PQsetClientEncoding(connection, "UTF8");
        PQsetNoticeProcessor(
            connection, [](void*, const char*) {}, nullptr);
    }
    return result;
}

PgConnection::PgConnection(PGconn* connection, ConnectionString dsn) : connection_(connection), dsn_(std::move(dsn)) {}

PgConnection::~PgConnection() {
    if (connection_) {
        PQfinish(connection_);
    }
}

bool PgConnection::ok() const {
    return connection_ && PQstatus(connection_) == CONNECTION_OK;
}

bool PgConnection::lost() const {
    return !ok();
}

void PgConnection::take_error(const PGresult* result) {
    // The primary message alone: the statement's text and a caret under it are no use in a log line.
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    set_error(primary ? primary : result ? PQresultErrorMessage(result) : PQerrorMessage(connection_));
    if (error_ == "unknown database error" && connection_) {
        set_error(PQerrorMessage(connection_));
    }
}

void PgConnection::set_error(const char* message) {
    error_ = dsn_.scrubbed(one_line(message));
}

std::optional<PgResult> PgConnection::run(const std::string& sql, const PgParams& params) {
    if (!connection_) {
        error_ = "no connection";
        return std::nullopt;
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) {
        values.push_back(p ? p->c_str() : nullptr);
    }
    PGresult* raw = PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                 nullptr, nullptr, 0);
    ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        take_error(raw);
        PQclear(raw);
        return std::nullopt;
    }
    return PgResult(raw);
}

bool PgConnection::run_script(const std::string& sql) {
    if (!connection_) {
        error_ = "no connection";
        return false;
    }
    PGresult* raw = PQexec(connection_, sql.c_str());
    ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    bool done = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!done) {
        take_error(raw);
    }
    PQclear(raw);
    return done;
}

PgTransaction::PgTransaction(PgConnection& connection) : connection_(connection) {
    begun_ = connection_.run("BEGIN").has_value();
}

PgTransaction::~PgTransaction() {
    if (begun_ && !done_) {
        // The failure that ended the transaction is the one worth telling, not the rollback's.
        std::string kept = connection_.error();
        (void)connection_.run("ROLLBACK"); // a failed rollback means a lost connection: nothing was kept
        connection_.error_ = kept;
    }
}

bool PgTransaction::commit() {
    if (!begun_ || done_) {
        return false;
    }
    done_ = true;
    return connection_.run("COMMIT").has_value();
}
