#pragma once

#include "modemsim/modem.h"

#include <chrono>
#include <string>

struct SimulatorOptions {
    std::string link;                             // where the device appears
    std::string control;                          // the control socket; empty: none
    std::string record;                           // the submissions' record file; empty: none
    std::chrono::milliseconds submit_latency{0};  // how long the answer to a submission waits
    std::chrono::milliseconds report_delay{1000}; // from that answer to the network's status report
    ModemProfile profile;
};

// Runs the simulated modem until SIGINT, SIGTERM, SIGHUP or a "quit" on the control socket, then
// removes the link and the socket. Prints "ready <device>" once the link and the socket are in
// place. Returns the exit status.
int run_simulator(const SimulatorOptions& options);
