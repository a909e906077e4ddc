#pragma once

#include "engine/engine_context.h"

// How often a responsive engine asks the modem for its signal and registration.
inline constexpr int modem_status_interval_ms = 60000;

// At the top of every cycle: in responsive mode, asks the modem its signal quality (AT+CSQ) and
// network registration (AT+CREG?) when the link is new (start, reopening) or the last answers are
// older than the interval, and puts them in the status file. Fixed-wait mode asks nothing.
void watch_modem_status(EngineContext& ctx);
