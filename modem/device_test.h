#pragma once

#include "engine/myterad.h"
#include "platform/clock.h"
#include "platform/stop_signal.h"

#include <functional>
#include <string>

// One thing the operator sees of the device test, in the order it happens.
struct DeviceTestStep {
    enum class Kind {
        Message,       // a modal message box
        ButtonCaption, // the caption of the device-test button `Button2`
    };
    Kind kind;
    std::string text; // GBK
};

using DeviceTestShow = std::function<void(const DeviceTestStep&)>;

// One wait of the device test: `ms` milliseconds, cut short once `stop` is requested. True when the
// whole wait has passed and the test may go on.
using DeviceTestWait = std::function<bool(int ms, StopSignal& stop)>;

// The waits of `clock`: a real clock's end at once when the stop is requested, so closing the window
// never waits one out; a virtual clock (in tests) takes the whole wait, then the stop is looked at. The
// clock must outlive the waits.
DeviceTestWait clock_waits(Clock& clock);

// The device test: reads COM and RATE from server.txt, opens the port exclusively, applies the line
// settings, purges, waits 2000 ms, asks "at", waits 3000 ms, reads one chunk, shows it raw and then
// the verdict ("OK" anywhere in it); a modem that answered is then asked AT+CSQ and AT+CREG? (each read
// to its final result code or 2 s of silence) and the signal and registration are shown in words; then
// the port is given up. `start_button_enabled` (the send/receive
// process is not running) picks the text for a port that cannot be opened. Blocks for the waits, so
// the console runs it on a worker; every step goes to `show` as it happens. Once `stop` is requested,
// nothing more is shown or waited for: the port, if open, is closed and the test returns. The read of
// the reply is the port's own and lasts until its time-out (3560 ms) whatever the stop.
void run_device_test(bool start_button_enabled, const DeviceTestWait& wait, const PortOpener& open,
                     const DeviceTestShow& show, StopSignal& stop);
