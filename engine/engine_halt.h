#pragma once

#include "store/status_file.h"

#include <string>

// Thrown from the engine thread when the modem cannot be worked without the operator (a SIM to
// unlock or to put in): the engine stops in `state` and shows `monitor` (GBK). Like EngineStopped it
// never leaves the engine thread.
struct EngineHalted {
    EngineRunState state;
    std::string monitor;
};

// Thrown before a recipient that must not be sent to now (the modem is not registered, a sending
// limit holds): the recipient is not used up, the send pass ends there, and the engine goes on
// receiving; the next cycle tries again. It never leaves the engine thread.
struct SendingHeld {};
// Thrown by a submission that found the link down, in an engine of a pool (EngineContext::
// gives_back_recipient): the recipient goes back to the other modems instead of waiting for this one.
struct RecipientReturned {};
