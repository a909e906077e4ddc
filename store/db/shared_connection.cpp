#include "store/db/shared_connection.h"

#include "store/db/db_schema.h"

PgConnection* SharedConnection::get() {
    if (db_ && db_->ok()) {
        return db_.get();
    }
    db_ = PgConnection::open(settings_.dsn, timeout_);
    failure_ = Failure::None;
    detail_.clear();
    if (!db_->ok()) {
        failure_ = Failure::Unreachable;
    } else if (std::optional<int> version = schema_version(*db_); !version) {
        failure_ = Failure::VersionUnreadable;
    } else if (*version < latest_schema_version()) {
        failure_ = Failure::TablesTooOld;
    }
    if (failure_ != Failure::None) {
        detail_ = db_->error();
        db_.reset();
        return nullptr;
    }
    return db_.get();
}
