#pragma once

#include "engine/engine_context.h"
#include "engine/engine_logs.h"
#include "engine/modem_link.h"
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
