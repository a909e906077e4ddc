#include "console/support/modem_work_dir.h"

#include "store/settings.h"

ModemWorkDir::ModemWorkDir() {
    if (!work_.valid()) {
        return;
    }
    modem_ = std::make_unique<SimulatedModem>(work_.path().toStdString());
    if (modem_->ready()) {
        write_setting("COM", modem_->device());
    }
}
