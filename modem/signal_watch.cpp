#include "modem/signal_watch.h"

#include "modem/awaited_answer.h"
#include "engine/report/engine_status.h"
#include "modem/modem_status.h"

void watch_modem_status(EngineContext& ctx) {
    if (!ctx.options.responsive.load() || ctx.status == nullptr) {
        return;
    }
    long long now = ctx.clock.steady_ms();
    if (ctx.state.modem_status.asked && now - ctx.state.modem_status.asked_ms < modem_status_interval_ms) {
        return;
    }
    AwaitedAnswer signal = command_exchange(ctx, "AT+CSQ\r", command_timeout_ms);
    if (ctx.port.broken()) {
        return; // the next exchange finds the link down and recovers it
    }
    AwaitedAnswer registration = command_exchange(ctx, "AT+CREG?\r", command_timeout_ms);
    if (ctx.port.broken()) {
        return;
    }
    tracef(ctx.logs, "csq=%s creg=%s\n", signal.text.c_str(), registration.text.c_str());
    ctx.state.modem_status.asked = true;
    ctx.state.modem_status.asked_ms = now;
    ctx.status->set_modem(parse_signal(signal.text), parse_registration(registration.text));
}
