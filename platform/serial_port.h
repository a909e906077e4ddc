#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One serial line to the modem. The engine talks to it only through this interface, so tests can put
// a scripted modem in its place.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Applies the line settings at `baud` (8N1, no flow control, DTR and RTS on). A rate the line
    // cannot run at, 0 included, is rejected and leaves the port as it was.
    virtual bool configure(std::uint32_t baud) = 0;
    // Writes every byte, blocking until done; there is no write time-out. Returns the count written.
    virtual std::size_t write(std::string_view bytes) = 0;
    // Reads up to `count` bytes into `buffer`. Returns as soon as `count` bytes have arrived, or when
    // read_timeout_ms(count) has passed with whatever has arrived by then.
    virtual std::size_t read(char* buffer, std::size_t count) = 0;
    // Waits up to `timeout_ms` for the modem to send something, then returns at once with what has
    // arrived, at most `count` bytes: for exchanges that end on the modem's answer, not on a fixed
    // time. Returns 0 when nothing came in time, when interrupted, or when the line is broken.
    virtual std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) = 0;
    // Drops everything still queued in either direction.
    virtual void prepare() = 0;
    // Gives the line up; further calls do nothing.
    virtual void close() = 0;
    // Ends a read under way at once, or the next read if none is; that read returns what it has. Safe
    // from any thread while the port is open, so a window that closes never waits out a read.
    virtual void interrupt() {}
    // The line is gone: it hung up, the device went away, or a write could not be made. Silence is not
    // a break; a broken port stays broken until it is closed and opened again.
    virtual bool broken() const { return false; }
};

// The total time-out of one read: 5 ms per byte requested plus 1000 ms (3560 ms for 512 bytes).
int read_timeout_ms(std::size_t requested);

// The device a `COM` setting names. A setting holding '/' is a path and is used as it is; COMn in any
// letter case is /dev/ttyS(n-1); any other name lives in /dev. Nothing is cut: a shortened path could
// name another device.
std::string device_path_for(std::string_view com_setting);
