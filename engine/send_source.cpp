#include "engine/send_source.h"

#include "engine/engine_context.h"
#include "engine/outgoing/send_pass.h"

bool SpoolSource::send_waiting(EngineContext& ctx, long processed, long queued) {
    run_send_pass(ctx, processed, queued);
    return processed < queued;
}

void SendSource::send_replies_ahead(EngineContext& ctx, long processed, long queued) {
    send_replies_early(ctx, processed, queued);
}

SendSource& EngineContext::source() {
    static SpoolSource spool;
    return send_source != nullptr ? *send_source : spool;
}
