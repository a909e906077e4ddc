#pragma once

#include "platform/serial_port.h"

#include <chrono>
#include <memory>
#include <string>

// A serial device through termios. The device is held exclusively: TIOCEXCL keeps other openers out,
// and a flock keeps out those TIOCEXCL lets through (root), so the device test cannot open a port
// the engine holds.
class TermiosSerialPort : public SerialPort {
public:
    // The device at `path`, opened for reading and writing; null when it cannot be opened or another
    // holder has it.
    static std::unique_ptr<TermiosSerialPort> open(const std::string& path);

    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    bool configure(std::uint32_t baud) override;
    std::size_t write(std::string_view bytes) override;
    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override;
    void prepare() override;
    void close() override;
    bool broken() const override { return broken_; }
    void interrupt() override;

private:
    TermiosSerialPort(int fd, int wake_fd) : fd_(fd), wake_fd_(wake_fd) {}

    enum class Ready { Data, TimedOut, Interrupted, Broken };
    // Waits until the device has bytes to read, the deadline passes, or interrupt() is called.
    Ready wait_readable(std::chrono::steady_clock::time_point deadline);
    // One read(2) of what the device holds; false when the line broke.
    bool read_once(char* buffer, std::size_t count, std::size_t& got);

    int fd_ = -1;
    int wake_fd_ = -1; // an eventfd that interrupt() signals and read() polls beside the device
    bool broken_ = false;
};
