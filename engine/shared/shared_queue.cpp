#include "engine/shared/shared_queue.h"

#include "engine/operator_texts.h"
#include "platform/gbk.h"
#include "store/db/db_schema.h"

SharedQueue::SharedQueue(DbSettings settings) : writer_(std::move(settings), connect_timeout_seconds) {}

PgConnection* SharedQueue::connection(EngineContext& ctx) {
    SharedConnection& connection = writer_.shared_connection();
    PgConnection* db = connection.current();
    if (!db || !db->ok()) {
        long long now = ctx.clock.steady_ms();
        if (now < retry_at_ms_) {
            return nullptr;
        }
        db = connection.get();
        if (!db) {
            retry_at_ms_ = now + backoff_.next();
            tell_down(ctx, connection.failure() == SharedConnection::Failure::TablesTooOld
                               ? "the database has no shared queue tables of version " +
                                     std::to_string(latest_schema_version()) + " yet: run vmsmsd --init-db"
                               : connection.detail());
            return nullptr;
        }
        backoff_.reset();
        tracef(ctx.logs, "shared queue: connected to %s as gateway %s\n", dsn_for_display(settings().dsn).c_str(),
               gateway().c_str());
    }
    // An on-demand reply may have opened it again in the meantime.
    if (down_told_) {
        down_told_ = false;
        ctx.output.prepend_monitor(gbk("共享发送队列（数据库）已重新连接。\r\n"));
    }
    return db;
}

void SharedQueue::failed(EngineContext& ctx, const char* what) {
    SharedConnection& connection = writer_.shared_connection();
    PgConnection* db = connection.current();
    if (!db) {
        return;
    }
    tracef(ctx.logs, "shared queue: %s failed: %s\n", what, db->error().c_str());
    if (!db->ok()) {
        std::string why = db->error();
        connection.drop();
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
