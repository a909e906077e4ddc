#include "modem/registration_gate.h"

#include "engine/operator_texts.h"
#include "engine/report/engine_status.h"
#include "modem/awaited_answer.h"
#include "modem/modem_status.h"
#include "modem/result_codes.h"
#include "platform/gbk.h"

namespace {

void hold(EngineContext& ctx, const ModemRegistration& registration) {
    RegistrationState& state = ctx.state.registration;
    if (state.held) {
        return;
    }
    state.held = true;
    tracef(ctx.logs, "not registered (%s): sending held, receiving goes on\n", registration_words(registration));
    ctx.output.prepend_monitor(gbk("调制解调器没有注册到网络（") + gbk(registration_words_zh(registration)) +
                               gbk("）：暂停发送，照常接收，注册后继续发送。\r\n"));
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::NotRegistered);
    }
}

void release(EngineContext& ctx, const ModemRegistration& registration) {
    RegistrationState& state = ctx.state.registration;
    if (!state.held) {
        return;
    }
    state.held = false;
    tracef(ctx.logs, "registered again (%s): sending goes on\n", registration_words(registration));
    ctx.output.prepend_monitor(gbk("调制解调器已重新注册到网络（") + gbk(registration_words_zh(registration)) +
                               gbk("）：继续发送。\r\n"));
    if (ctx.status) {
        ctx.status->set_state(EngineRunState::Running);
    }
}

// Asks the modem; true unless it says it is not registered.
bool ask_registration(EngineContext& ctx) {
    AwaitedAnswer answer = command_exchange(ctx, "AT+CREG?\r", command_timeout_ms);
    std::optional<ModemRegistration> registration = parse_registration(answer.text);
    if (!registration || registration->stat == 4) {
        return true; // a modem that does not say (or does not know) is not held on that account
    }
    if (!registered(*registration)) {
        hold(ctx, *registration);
        return false;
    }
    ctx.state.registration.registered_at_ms = ctx.clock.steady_ms();
    ctx.state.registration.known = true;
    release(ctx, *registration);
    return true;
}

} // namespace

bool registration_allows_sending(EngineContext& ctx) {
    if (!ctx.options.responsive.load()) {
        return true;
    }
    const RegistrationState& state = ctx.state.registration;
    if (!state.held && state.known && ctx.clock.steady_ms() - state.registered_at_ms < registration_recheck_ms) {
        return true;
    }
    return ask_registration(ctx);
}

bool refused_for_want_of_service(const std::string& answer) {
    std::optional<ModemError> error = modem_error(answer);
    return error && error->message_service && error->number == 331;
}

void hold_if_unregistered(EngineContext& ctx) {
    ctx.state.registration.known = false;
    if (!registration_allows_sending(ctx)) {
        throw SendingHeld{};
    }
}
