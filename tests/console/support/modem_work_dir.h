#pragma once

#include "console/support/scoped_work_dir.h"
#include "support/simulated_modem.h"

#include <memory>

// A fresh working directory with the simulated modem running in it, its device written into
// server.txt as the port: where the window meets the real engine thread in the end-to-end tests.
class ModemWorkDir {
public:
    ModemWorkDir();

    bool valid() const { return work_.valid(); }
    // Only when valid(); whether it came up is the modem's ready().
    SimulatedModem& modem() { return *modem_; }

private:
    ScopedWorkDir work_;
    std::unique_ptr<SimulatedModem> modem_;
};
