#pragma once

#include "modemsim/control.h"

// The control interface's deliver command, its words from "deliver" on: a message from the network
// stored in the modem's memory and announced as AT+CNMI asks, whole or as the parts of a long message.
ControlReply deliver_command(const std::vector<std::string>& words, Modem& modem, LineControl& line);
