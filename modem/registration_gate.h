#pragma once

#include "engine/engine_context.h"

#include <string>

// In the responsive mode nothing is sent while the modem is not registered with a network (searching,
// denied): the engine asks AT+CREG? before it sends, holds its sending while the answer is not home or
// roaming (receiving goes on), says so once on the monitor, in the trace and in the status, and goes
// on when the registration is back. A modem that does not answer the question is not held.

#include "engine/engine_halt.h"

// Whether the engine may send now; asks the modem unless it said it was registered less than
// registration_recheck_ms ago. Always true with fixed waits.
bool registration_allows_sending(EngineContext& ctx);

// Whether a refused submission's answer says the modem has no network service.
bool refused_for_want_of_service(const std::string& answer);

// After a submission refused for want of service: asks again, and throws SendingHeld when the modem
// is not registered.
void hold_if_unregistered(EngineContext& ctx);

inline constexpr int registration_recheck_ms = 5000;
