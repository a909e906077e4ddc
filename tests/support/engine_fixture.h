#pragma once

#include "engine/engine_context.h"
#include "engine/report/engine_logs.h"
#include "modem/modem_link.h"
#include "modem/pdu/pdu_peer.h"
#include "support/borrowed_port.h"
#include "support/fake_serial_port.h"
#include "support/memory_output.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

#include <string>
#include <vector>

// One engine's surroundings in a temporary working directory: a scripted modem, virtual time, the
// options, the operator outputs and the logs of a run started on 2004-5-6.
class EngineFixture : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The submit PDUs the engine wrote (each without its Ctrl-Z), in order.
    std::vector<std::string> sent_pdus() const;
    // Their destination numbers as written ("86" and the number in the standard variant).
    std::vector<std::string> destinations() const;
    // The delete commands written, in order.
    std::vector<std::string> deletes() const;
    // Queues a record of the engine's day as another program would, with exact file contents.
    long queue(const std::string& recipients, const std::string& content);
    // The send commands ("at+cmgs=..\r") written, in order.
    std::vector<std::string> send_commands() const;
    std::string report(const char* which) const; // "SUCC", "FAIL" or "RECV" log of the start day
    std::string trace_text() const;

    const std::string day = "2004-5-6";
    VirtualClock clock{{2004, 5, 6, 7, 1, 5}};
    FakeSerialPort port{&clock};
    // Reopening the device after the link went down: while `refused_opens` is above 0 the device is
    // missing; after that the same scripted modem comes back, answering and unbroken (plugged in again).
    int refused_opens = 0;
    int opens = 0;
    std::unique_ptr<SerialPort> reopen_device();
    ModemLink link{std::make_unique<BorrowedPort>(port), [this](const std::string&) { return reopen_device(); },
                   "/dev/ttyS0", 19200};
    EngineOptions options;
    MemoryOutput output;
    EngineLogs logs;
    ClockPacer pacer{clock};
    EngineContext ctx{link, clock, pacer, options, output, logs, {}};
};

// A modem that takes every message: the prompt after the send command, then "+CMGS" and OK.
std::vector<ModemReply> accepting_modem();

// The destination numbers of the submit PDUs written to `port`, in order ("?" for one that cannot be read).
std::vector<std::string> submitted_destinations(const FakeSerialPort& port);

// A received message as the modem lists it (upper-case hex PDU).
std::string deliver_pdu(const std::string& sender, const std::string& text, bool seven_bit = true,
                        SenderForm form = SenderForm::National);

// A listing as a modem in PDU mode gives it: the echo, a blank line (or not), the entries, OK.
std::string modem_listing(const std::vector<std::string>& pdus, bool blank_line = true);
