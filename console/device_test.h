#pragma once

#include "engine/myterad.h"
#include "platform/clock.h"

#include <atomic>
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

// The device test: reads COM and RATE from server.txt, opens the port exclusively, applies the line
// settings, purges, waits 2000 ms, asks "at", waits 3000 ms, reads one chunk, shows it raw and then
// the verdict ("OK" anywhere in it), and gives the port up. `start_button_enabled` (the send/receive
// process is not running) picks the text for a port that cannot be opened. Blocks for the waits, so
// the console runs it on a worker; every step goes to `show` as it happens. Once `cancelled` is set,
// nothing more is shown or waited for: the port, if open, is closed and the test returns.
void run_device_test(bool start_button_enabled, Clock& clock, const PortOpener& open, const DeviceTestShow& show,
                     const std::atomic<bool>& cancelled);
