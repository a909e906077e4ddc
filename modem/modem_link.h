#pragma once

#include "platform/serial_port.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Opens the modem's device; null when it cannot be opened (tests put a fake port here).
using PortOpener = std::function<std::unique_ptr<SerialPort>(const std::string& device_path)>;

// The engine's line to the modem across unplugging: it forwards to the port it holds and notices when
// the link is down (the port hung up, went away or refused a write, or the modem did not answer at
// all), so the engine can close it and open the same device again.
class ModemLink : public SerialPort {
public:
    // `baud` is the rate a reopened port gets until configure names another.
    ModemLink(std::unique_ptr<SerialPort> port, PortOpener opener, std::string device, std::uint32_t baud = 0);

    bool configure(std::uint32_t baud) override;
    std::size_t write(std::string_view bytes) override;
    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override;
    void prepare() override;
    // Gives the port up; the link stays down until reopen succeeds.
    void close() override;
    // Down: broken, closed, or marked down by the engine.
    bool broken() const override;
    // Ends a read of the port held now; safe from another thread while the engine reopens the port.
    void interrupt() override;

    // The engine saw the modem stay silent or babble without end; `why` is kept for the operator.
    void mark_down(const std::string& why);
    // Why the link went down, GBK, for the operator; empty while it is up.
    const std::string& down_reason() const { return reason_; }
    const std::string& device() const { return device_; }
    // The device the next reopen opens: the modem was found under another path.
    void set_device(const std::string& device) { device_ = device; }

    // Closes whatever is held, opens the device again and applies the line rate of the last
    // configure. A rejected rate counts as failure unless `accept_rejected_rate`.
    bool reopen(bool accept_rejected_rate);
    // How often a port was opened: 1 for the port the link was made with, one more for every reopening
    // that succeeded. What the engine set up on the modem holds while this stays the same.
    unsigned long openings() const { return openings_; }

private:
    void note_broken_port();

    void replace_port(std::unique_ptr<SerialPort> port);

    std::mutex swap_; // held while the port is replaced or interrupted
    std::unique_ptr<SerialPort> port_;
    PortOpener opener_;
    std::string device_;
    std::uint32_t baud_ = 0;
    std::string reason_;
    unsigned long openings_ = 0;
};
