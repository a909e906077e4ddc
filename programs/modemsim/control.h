#pragma once

#include "modemsim/modem.h"
#include "modemsim/submission_log.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The control interface's commands, one line of words each:
//   deliver --from NUMBER --text TEXT [--7bit | --ucs2] [--smsc NUMBER | --no-smsc] [--time STAMP]
//           [--parts auto|COUNT [--ref REFERENCE] [--ref16] [--order 3,1,2] [--drop 2] [--duplicate 1]]
//   deliver --pdu HEX
//   fault none
//   fault silent | error | reject | endless-listing | trickling-listing | garbage [--for SECONDS]
//   fault fail COUNT
//   fault garbage --count COUNT
//   fault unplug [--for SECONDS]
//   fault replug [--at PATH]
//   fault hung
//   sim ready | pin CODE | puk | missing | failure
//   identity IMEI ICCID
//   layout usual | blank-line
//   release keep | clear
//   latency MS
//   reports delivered | failed | none
//   report-delay MS
//   sent | messages | stored | status | clear | quit
struct ControlReply {
    bool ok = true;
    std::vector<std::string> lines; // UTF-8, one line each
    std::string error;              // why the command was refused, when !ok
    bool quit = false;
};

// What the control commands reach beyond the modem: the cable to the gateway, and the clock that
// ends a fault by itself and times the network's answer to a submission.
class LineControl {
public:
    virtual ~LineControl() = default;

    virtual bool plugged() const = 0;
    // The device the link names; empty while unplugged.
    virtual std::string device() const = 0;
    // Pulls the cable: the pseudo-terminal and its link go. Back in by itself after `back_after`
    // when one is given.
    virtual void unplug(std::optional<std::chrono::milliseconds> back_after) = 0;
    // A new pseudo-terminal linked at the same path. False, with `error` set, when it cannot be made.
    virtual bool replug(std::string& error) = 0;
    // The next plugging in links the device at `path` instead (a USB modem back under another name).
    virtual void move_link(const std::string& path) = 0;
    // The modem's fault lifts by itself after `after`; without it, the fault stays until changed.
    virtual void end_fault_after(std::optional<std::chrono::milliseconds> after) = 0;
    // Bytes the modem sends without being asked.
    virtual void send_unasked(std::string_view bytes) = 0;
    // How long the network takes with a submission: the answer to the Ctrl-Z that ends a PDU, and
    // whatever the gateway writes meanwhile, wait that long. A change holds from the next submission.
    virtual std::chrono::milliseconds submit_latency() const = 0;
    virtual void set_submit_latency(std::chrono::milliseconds latency) = 0;
    // How long after its submission's answer the network's status report comes. A change holds for
    // the reports of later submissions.
    virtual std::chrono::milliseconds report_delay() const = 0;
    virtual void set_report_delay(std::chrono::milliseconds delay) = 0;
    // Status reports the network owes and has not sent yet.
    virtual size_t reports_waiting() const = 0;
};

// A submit latency or report delay as the command line and the control interface take it: whole
// milliseconds, 0 to 60000; nullopt for anything else.
std::optional<std::chrono::milliseconds> parse_submit_latency(std::string_view text);

ControlReply run_control(const std::vector<std::string>& words, Modem& modem, SubmissionLog& log, LineControl& line);
