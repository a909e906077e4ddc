#pragma once

#include "platform/serial_port.h"
#include "support/virtual_clock.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// One row of a scripted modem: a write that starts with `command` makes the modem send `answer`,
// `delay_ms` after the write (with a clock; at once without one). An empty command matches any
// write; an empty answer is a modem that stays silent.
struct ModemReply {
    std::string command;
    std::string answer;
    int delay_ms = 0;
};

// One write the gateway made, with the virtual time it was made at (0 without a clock).
struct PortWrite {
    std::string bytes;
    long long at_ms = 0;
};

// An in-memory serial port with a scripted modem behind it, written like a table:
//
//     port.script({
//         {"AT+CMGF=0\r\n", "AT+CMGF=0\r\r\nOK\r\n"},  // PDU mode taken
//         {"at+cmgs=", "\r\n> "},                      // prompt for the PDU
//         {"0011", "\r\n+CMGS: 7\r\n\r\nOK\r\n"},      // PDU sent as message 7
//     });
//
// Scripted rows are used once each, in order: a write is matched against the next row only. A write
// the script does not take is matched against the standing rows, which answer any number of times;
// a write neither takes is recorded as unmatched and gets no answer. Answers queue up as input and
// reads hand them out as a real port would: a read of n bytes returns at most n of the queued bytes.
// A read that returns fewer than n bytes waits out its whole time-out, as a real read does; with a
// clock given, that wait passes through clock.sleep_ms, so it shows among the clock's sleeps and in
// read_waits(). read_some returns what is queued at once, or waits on the clock for the next answer
// that is due within its time-out. All members may be called from any thread.
class FakeSerialPort : public SerialPort {
public:
    explicit FakeSerialPort(VirtualClock* clock = nullptr) : clock_(clock) {}

    // Appends rows to the one-shot script.
    void script(const std::vector<ModemReply>& rows);
    // Replaces the standing rows.
    void standing(const std::vector<ModemReply>& rows);
    // Bytes the modem sends unasked (noise, an unsolicited result code, a late answer).
    void push_input(const std::string& bytes);
    // Bytes the modem sends unasked when the clock reaches `at_ms` (virtual milliseconds since the
    // clock was made).
    void push_input_at(long long at_ms, const std::string& bytes);
    // A silent modem takes every write and answers nothing, whatever the rows say.
    void set_silent(bool silent);
    // Whether configure accepts a rate; by default it accepts every rate but 0.
    void set_accepts_configure(bool accepts);
    // A line that hung up: writes take nothing, reads return nothing at once, broken() says so.
    void set_broken(bool broken);

    bool configure(std::uint32_t baud) override;
    std::size_t write(std::string_view bytes) override;
    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t read_some(char* buffer, std::size_t count, int timeout_ms) override;
    void prepare() override;
    void close() override;
    bool broken() const override;

    // Everything written, in one string and write by write.
    std::string written() const;
    std::vector<PortWrite> writes() const;
    // Writes that matched no row.
    std::vector<std::string> unmatched() const;
    // Scripted rows not used yet.
    std::size_t script_left() const;
    // Bytes queued and not read yet.
    std::size_t queued() const;
    // The time-out waits of short reads, in order; one entry per read that returned fewer bytes than
    // it asked for. reads() counts every read.
    std::vector<int> read_waits() const;
    int reads() const;
    int prepares() const;
    // Rates passed to configure, in order.
    std::vector<std::uint32_t> configured() const;
    bool closed() const;

private:
    struct TimedInput {
        long long at_ms;
        std::string bytes;
    };

    std::optional<ModemReply> answer_to(std::string_view bytes);
    long long now_ms() const;
    // Moves the timed input due by `now` into the input; called with the lock held.
    void take_due_input(long long now);
    // When the next timed input is due; called with the lock held.
    std::optional<long long> next_due() const;
    // Hands out up to `count` queued bytes; called with the lock held.
    std::size_t take_input(char* buffer, std::size_t count);

    VirtualClock* clock_;
    mutable std::mutex mutex_;
    std::deque<ModemReply> script_;
    std::vector<ModemReply> standing_;
    std::string input_;
    std::vector<TimedInput> timed_; // in the order they were pushed; due times need not be sorted
    std::vector<PortWrite> writes_;
    std::vector<std::string> unmatched_;
    std::vector<int> read_waits_;
    std::vector<std::uint32_t> configured_;
    int reads_ = 0;
    int prepares_ = 0;
    bool silent_ = false;
    bool accepts_configure_ = true;
    bool broken_ = false;
    bool closed_ = false;
};
