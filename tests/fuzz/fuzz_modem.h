#pragma once

#include "engine/operator_output.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/stop_signal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A modem in memory that answers the inbox pass's commands. The listing command gets the fuzz
// input as its answer; a delete, the reset "at" and the PDU-mode command of a reopened link get a
// plain OK. Reads hand out what is queued, at most the count asked for, and never wait.
class ListingModem : public SerialPort {
public:
    // One delete command the modem took, with what `stored` said at that moment.
    struct Delete {
        std::string command;
        long stored = 0;
    };

    // `stored` tells how many messages the gateway has stored; the modem asks at every delete.
    ListingModem(std::string listing_answer, std::function<long()> stored)
        : listing_answer_(std::move(listing_answer)), stored_(std::move(stored)) {}

    bool configure(std::uint32_t baud) override { return baud != 0; }
    std::size_t write(std::string_view bytes) override;
    std::size_t read(char* buffer, std::size_t count) override;
    // Hands out what is queued at once; the fuzzed passes never wait on this modem.
    std::size_t read_some(char* buffer, std::size_t count, int) override { return read(buffer, count); }
    void prepare() override { input_.clear(); }
    void close() override {}

    int listings() const { return listings_; }
    const std::vector<Delete>& deletes() const { return deletes_; }

private:
    std::string listing_answer_;
    std::function<long()> stored_;
    std::string input_; // answered and not read yet
    int listings_ = 0;
    std::vector<Delete> deletes_;
};

// The engine's link owns its port and drops it when it reopens the device; each opening gets one
// of these, lent the same modem, so the modem and what it counted outlive them.
class LentPort : public SerialPort {
public:
    explicit LentPort(SerialPort& port) : port_(port) {}
    bool configure(std::uint32_t baud) override { return port_.configure(baud); }
    std::size_t write(std::string_view bytes) override { return port_.write(bytes); }
    std::size_t read(char* buffer, std::size_t count) override { return port_.read(buffer, count); }
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override {
        return port_.read_some(buffer, count, timeout_ms);
    }
    void prepare() override { port_.prepare(); }
    void close() override { port_.close(); }

private:
    SerialPort& port_;
};

// Time that stands still at 2004-5-6 7:01:05; sleeps return at once.
class StillClock : public Clock {
public:
    LocalTime now() override { return {2004, 5, 6, 7, 1, 5}; }
    void sleep_ms(int) override {}
    bool sleep_ms(int, StopSignal& stop) override { return !stop.requested(); }
    long long steady_ms() override { return 0; }
};

// The operator's monitor kept as a string, the way the window keeps it (newest entry first).
class KeptOutput : public OperatorOutput {
public:
    void set_caption(const std::string& text) override { caption_ = text; }
    void replace_monitor(const std::string& text) override { monitor_ = text; }
    void prepend_monitor(const std::string& text) override { monitor_.insert(0, text); }
    std::size_t monitor_length() override { return monitor_.size(); }

private:
    std::string caption_;
    std::string monitor_;
};
