#pragma once

#include "modemsim/control.h"

// The control commands about the SIM and the modem's identity, their words from the first on:
//   sim ready | pin CODE | puk | missing | failure
//   identity IMEI ICCID
ControlReply sim_command(const std::vector<std::string>& words, Modem& modem);
ControlReply identity_command(const std::vector<std::string>& words, Modem& modem);

// "sim=pin tries=3 pins-entered=1 imei=... iccid=...": the status line about them.
std::string sim_status_line(Modem& modem);
