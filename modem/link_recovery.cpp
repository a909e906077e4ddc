#include "modem/link_recovery.h"

#include "engine/backoff.h"
#include "engine/operator_texts.h"
#include "engine/report/engine_status.h"
#include "modem/awaited_answer.h"
#include "modem/init_commands.h"
#include "modem/modem_identity.h"
#include "modem/modem_reset.h"
#include "modem/serial_link.h"
#include "modem/sim_check.h"
#include "platform/gbk.h"

#include <algorithm>

namespace {

// Reopens the device and runs the start-up exchange; true when the modem answered it and is the one
// server.txt names. `opened` tells whether the port opened and a modem answered there, other or not.
bool reopen_modem(EngineContext& ctx, bool& opened, bool& other_modem) {
    opened = ctx.port.reopen(ctx.options.wider_compatibility.load());
    if (!opened) {
        return false;
    }
    note_modem_answer(ctx, modem_startup_exchange(ctx));
    if (ctx.port.broken()) {
        return false;
    }
    std::string other = identity_mismatch(ctx, wanted_identity());
    if (!other.empty()) {
        other_modem = true;
        ctx.port.mark_down(gbk("另一台调制解调器：") + other);
        return false;
    }
    return true;
}

} // namespace

void note_modem_answer(EngineContext& ctx, const std::string& answer) {
    if (answer.empty()) {
        ctx.port.mark_down(gbk("无应答"));
    } else if (!reply_is_intelligible(answer)) {
        ctx.port.mark_down(gbk("应答无法识别"));
    }
}

std::string modem_startup_exchange(EngineContext& ctx) {
    port_prepare(ctx.port);
    // A modem keeps a submission half typed when the port closed under it (an engine killed in the
    // middle of a PDU): its next commands would go into that PDU. ESC cancels it; a modem that was
    // not in one takes no notice. (Written after the purge, which would drop it unsent.)
    port_write(ctx.port, cancel_submission);
    tracef(ctx.logs, "star...%s,%s\n", ctx.state.port.com_setting.c_str(), ctx.state.port.rate_setting.c_str());
    return exchange_command(ctx, "AT+CMGF=0\r\n", {.after_ms = 2500, .settle_ms = 2000});
}

void recover_link(EngineContext& ctx) {
    std::string why = ctx.port.down_reason().empty() ? gbk("无应答") : ctx.port.down_reason();
    const std::string& device = ctx.port.device();
    tracef(ctx.logs, "link down (%s) on %s: port closed, reopening\n", why.c_str(), device.c_str());
    ctx.output.set_caption(link_down_caption());
    ctx.output.prepend_monitor(link_down_line(why, device));
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::LinkDown);
    }
    ctx.port.close();
    // Waits before each reopening: 1 s, doubling, at most 30 s.
    Backoff backoff;
    SilentReopens silent;
    int wait = backoff.next();
    for (int round = 1;; ++round) {
        ctx.pacer.sleep(wait);
        bool opened = false;
        bool other_modem = false;
        if (reopen_modem(ctx, opened, other_modem)) {
            break;
        }
        tracef(ctx.logs, "reopen %d of %s failed (%s)\n", round, ctx.port.device().c_str(),
               ctx.port.down_reason().c_str());
        after_silent_reopen(ctx, opened && !other_modem, silent);
        ctx.port.close();
        if ((!opened || other_modem) && wanted_identity().any() && find_modem_elsewhere(ctx, wanted_identity())) {
            continue; // reopened at once where the modem is now
        }
        wait = backoff.next();
    }
    tracef(ctx.logs, "link back on %s\n", ctx.port.device().c_str());
    if (std::optional<EngineHalted> halt = unlock_sim(ctx)) {
        throw *halt; // a modem that lost power asks for its PIN again; a refused one is not tried twice
    }
    if (std::optional<std::string> failed = run_init_commands(ctx)) {
        // Said, and the engine goes on: the modem answers, and what it refused may be set already.
        ctx.output.prepend_monitor(*failed);
    }
    // A modem that lost power lost its settings too: it is asked to announce messages again.
    ctx.state.indications.asked = false;
    ctx.state.indications.on = false;
    ctx.state.modem_status.asked = false;
    ctx.state.registration.known = false;
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::Running);
    }
    ctx.output.set_caption(started_caption());
    ctx.output.prepend_monitor(link_back_line(ctx.port.device()));
}
