#pragma once

#include "platform/serial_port.h"

// Hands code under test a port that forwards to one the test owns, so the test can still look at the
// port (a scripted modem, say) after the code has closed and dropped its handle.
class BorrowedPort : public SerialPort {
public:
    explicit BorrowedPort(SerialPort& port) : port_(port) {}
    bool configure(std::uint32_t baud) override { return port_.configure(baud); }
    std::size_t write(std::string_view bytes) override { return port_.write(bytes); }
    std::size_t read(char* buffer, std::size_t count) override { return port_.read(buffer, count); }
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override {
        return port_.read_some(buffer, count, timeout_ms);
    }
    void prepare() override { port_.prepare(); }
    void close() override { port_.close(); }
    bool broken() const override { return port_.broken(); }

private:
    SerialPort& port_;
};
