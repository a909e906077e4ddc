#pragma once

#include "support/background_program.h"
#include "support/run_program.h"

#include <memory>
#include <string>
#include <vector>

// vmsms-modemsim running in the background for one test: its device is linked at <dir>/modem, its
// control socket is <dir>/ctl and its record of submissions <dir>/sent.txt.
class SimulatedModem {
public:
    explicit SimulatedModem(const std::string& dir, const std::vector<std::string>& extra_args = {});

    static bool built();
    // Whether its control socket appeared within 10 s.
    bool ready() const { return ready_; }
    const std::string& device() const { return device_; }
    // One control command, as `vmsms-modemsim ctl <socket> ...`.
    ProgramResult ctl(const std::vector<std::string>& args) const;
    // The next `count` deletions of a message answer OK and leave it to be listed again ("storage relist").
    ProgramResult relist_after_delete(int count) const;
    // From now on AT+CMGD is never answered ("fault hang-delete"), or every fault is cleared ("fault none").
    ProgramResult hang_on_delete(bool hang) const;
    // How many messages the modem's memories hold, from "stored"; -1 when the simulator did not answer.
    int stored_count() const;
    // The record of submissions and its lines.
    std::string sent_text() const;
    std::vector<std::string> sent_lines() const;
    // What the simulator printed, for failure messages.
    std::string output() const;

private:
    std::string dir_;
    std::string device_;
    std::unique_ptr<BackgroundProgram> program_;
    bool ready_ = false;
};
