#pragma once

#include "modemsim/control.h"

#include <string>
#include <vector>

// The control interface's storage command, its words from "storage" on:
//   storage SM SLOTS [ME SLOTS]      the modem's memories and their slots (1 to 255 each)
//   storage delete-error COUNT|always|none
//                                    the next COUNT deletions (or every one) answer +CMS ERROR: 320
//   storage relist COUNT|always|none the next COUNT deletions of a message (or every one) answer OK and
//                                    leave it, to be listed again
ControlReply storage_command(const std::vector<std::string>& words, Modem& modem, LineControl& line);

// The memories, their selection, the messages the network holds and the delete fault, in one line
// of the status answer: "memories=SM:0/30 cpms=SM,SM,SM held=0 delete-error=none relist=none".
std::string storage_status_line(Modem& modem);
