#include "engine/shared/shared_queue.h"

#include "engine/operator_texts.h"
#include "platform/gbk.h"
#include "store/db/db_schema.h"

SharedQueue::SharedQueue(DbSettings settings) : writer_(std::move(settings)) {}

PgConnection* SharedQueue::connection(EngineContext& ctx) {
    if (db_ && db_->ok()) {
        return db_.get();
    }
    long long now = ctx.clock.steady_ms();
    if (now < retry_at_ms_) {
        return nullptr;
    }
    db_ = PgConnection::open(settings().dsn, 5);
    std::string why;
    if (!db_->ok()) {
        why = db_->error();
    } else if (std::optional<int> version = schema_version(*db_); !version) {
        why = db_->error();
    } else if (*version < latest_schema_version()) {
        why = "the database has no shared queue tables of version " + std::to_string(latest_schema_version()) +
              " yet: run vmsmsd --init-db";
    }
    if (!why.empty()) {
        db_.reset();
        retry_at_ms_ = now + backoff_.next();
        tell_down(ctx, why);
        return nullptr;
    }
    backoff_.reset();
    if (down_told_) {
        down_told_ = false;
        ctx.output.prepend_monitor(gbk("共享发送队列（数据库）已重新连接。\r\n"));
    }
    tracef(ctx.logs, "shared queue: connected to %s as gateway %s\n", dsn_for_display(settings().dsn).c_str(),
           gateway().c_str());
    return db_.get();
}

void SharedQueue::failed(EngineContext& ctx, const char* what) {
    if (!db_) {
        return;
    }
    tracef(ctx.logs, "shared queue: %s failed: %s\n", what, db_->error().c_str());
    if (!db_->ok()) {
        std::string why = db_->error();
        db_.reset();
        backoff_.reset();
        retry_at_ms_ = ctx.clock.steady_ms() + backoff_.next();
        tell_down(ctx, why);
    }
}

void SharedQueue::tell_down(EngineContext& ctx, const std::string& why) {
    tracef(ctx.logs, "shared queue: cannot reach %s: %s (next try in %d ms)\n", dsn_for_display(settings().dsn).c_str(),
           why.c_str(), backoff_.current());
    if (!down_told_) {
        down_told_ = true;
        ctx.output.prepend_monitor(gbk("共享发送队列（数据库）连接不上，等待后重试：") + why + "\r\n");
    }
}
