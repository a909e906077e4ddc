#pragma once

#include "modemsim/modem.h"
#include "modemsim/submission_log.h"

#include <string>
#include <vector>

// The control interface's commands, one line of words each:
//   deliver --from NUMBER --text TEXT [--7bit | --ucs2] [--smsc NUMBER | --no-smsc] [--time STAMP]
//   deliver --pdu HEX
//   fault none | silent | error | reject | fail COUNT
//   layout usual | blank-line
//   sent | stored | status | clear | quit
struct ControlReply {
    bool ok = true;
    std::vector<std::string> lines; // UTF-8, one line each
    std::string error;              // why the command was refused, when !ok
    bool quit = false;
};

ControlReply run_control(const std::vector<std::string>& words, Modem& modem, SubmissionLog& log);
