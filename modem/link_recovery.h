#pragma once

#include "engine/engine_context.h"

#include <string>

// What cancels a submission a modem is in the middle of taking.
inline constexpr const char* cancel_submission = "\x1b";

// The modem's start-up exchange: purge the line, cancel a submission left half typed (ESC), switch to
// PDU mode ("AT+CMGF=0"), wait 2500 ms, read one chunk, wait 2000 ms; in responsive mode, wait only for
// the command's final result code. Returns what the modem answered.
std::string modem_startup_exchange(EngineContext& ctx);

// Marks the link down when the modem answered nothing, or only noise: neither is a refusal, since the
// modem may never have seen what was sent.
void note_modem_answer(EngineContext& ctx, const std::string& answer);

// Called when the link is down. Tells the operator (monitor, caption, trace), closes the port, and
// opens the same device again after growing waits until the modem answers its start-up exchange; then
// puts the started caption back. Returns only then, or by EngineStopped when the engine must stop.
// Nothing the engine was doing is given up: the caller goes on with the same record and recipient.
void recover_link(EngineContext& ctx);
