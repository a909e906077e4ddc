#pragma once

#include "console/support/scoped_work_dir.h"
#include "support/simulated_modem.h"

#include <QObject>

#include <memory>

// A Qt test case whose test functions each run in a fresh working directory with the simulated modem
// running in it, its device written into server.txt as the port: where the window meets the real
// engine thread end to end. Without a built simulator the test functions are skipped.
class ModemTestCase : public QObject {
    Q_OBJECT

protected:
    SimulatedModem& modem() { return *modem_; }

private slots:
    void init();
    void cleanup();

private:
    std::unique_ptr<ScopedWorkDir> work_;
    std::unique_ptr<SimulatedModem> modem_;
};
