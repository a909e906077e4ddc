#pragma once

#include "engine/engine_context.h"

#include <string>

// A modem whose port still opens but which stays silent through silent_reopens_before_reset
// reopenings in a row is reset: first with AT+CFUN=1,1 (it reboots, and the lines it prints when it
// is back, RDY or SMS DONE, are passed over), then, when that did not bring it back and server.txt
// says USBRESET=1, through the USB subsystem. Each reset is said on the monitor, in the trace and in
// the status, and starts the MODEM hook.

struct SilentReopens {
    int in_a_row = 0;             // reopenings whose port opened and whose modem said nothing
    bool soft_reset_done = false; // AT+CFUN=1,1 was sent since the modem last answered
};

// After a reopening that did not bring the modem back: `opened` whether its port opened (and is open
// still). Resets the modem when its turn has come; the port is left for the caller to close.
void after_silent_reopen(EngineContext& ctx, bool opened, SilentReopens& silent);

inline constexpr int silent_reopens_before_reset = 3;
inline constexpr int reset_boot_ms = 10000; // a rebooting modem is left alone this long
