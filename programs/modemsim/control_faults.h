#pragma once

#include "modemsim/control.h"

// The control interface's fault command, its words from "fault" on.
ControlReply fault_command(const std::vector<std::string>& words, Modem& modem, LineControl& line);

// A fault's name, as the fault command takes it.
const char* fault_name(Fault fault);
