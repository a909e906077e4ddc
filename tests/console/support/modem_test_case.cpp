#include "console/support/modem_test_case.h"

#include "store/settings.h"

#include <QTest>

void ModemTestCase::init() {
    if (!SimulatedModem::built()) {
        QSKIP("vmsms-modemsim is not built");
    }
    work_ = std::make_unique<ScopedWorkDir>();
    QVERIFY(work_->valid());
    modem_ = std::make_unique<SimulatedModem>(work_->path().toStdString());
    QVERIFY2(modem_->ready(), modem_->output().c_str());
    QVERIFY(write_setting("COM", modem_->device()));
}

void ModemTestCase::cleanup() {
    modem_.reset();
    work_.reset();
}
