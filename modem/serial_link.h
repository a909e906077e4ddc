#pragma once

#include "platform/clock.h"
#include "platform/serial_port.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The port's operations and the reading of its answers. With fixed waits (the default mode) an exchange
// is fixed steps: write, sleep a fixed time, read whatever has arrived under the port's total time-out.
// In responsive mode an exchange reads until the modem's final answer instead (engine/awaited_answer.h,
// engine/send_attempt.h). Either way answers are read in chunks of this size.
inline constexpr std::size_t chunk_size = 512;
// What the submission keeps of the modem's answer to one attempt.
inline constexpr std::size_t submission_capacity = 10240;

// The device at `device_path`, held exclusively; null stands for the invalid handle.
std::unique_ptr<SerialPort> port_open(const std::string& device_path);

// Whether the line settings were accepted at `baud`; the caller traces the result as 1 or 0.
bool port_configure(SerialPort& port, std::uint32_t baud);

// Purges both directions, so nothing left on the line from before reaches the first exchange.
void port_prepare(SerialPort& port);

// Writes the text's bytes, blocking until done; the outcome is not looked at.
void port_write(SerialPort& port, std::string_view text);

// Reads one chunk: up to 512 bytes under the port's time-out, taken as text. The text ends at the
// first zero byte, so a zero byte in an answer hides the rest of that chunk.
std::string port_read_chunk(SerialPort& port);

// Reads chunks until one comes back shorter than 512 bytes of text, and returns what they held, cut to
// `capacity` bytes: the excess is read and dropped, so it does not spill into the next exchange.
std::string port_collect(SerialPort& port, std::size_t capacity);

// Whether "OK" occurs anywhere in the text (case-sensitive; no line or position rule).
bool reply_has_ok(std::string_view text);

// The stricter judgement of a submission: some line of the answer is exactly "OK" (blanks and line
// ends aside) and no line is an error result ("ERROR", "+CMS ERROR: ...", "+CME ERROR: ..."). An
// "OK" left over from an earlier command does not turn a refusal into a success.
bool reply_says_sent(std::string_view text);

// Whether the answer reads as a modem's at all: printable ASCII lines, of which some line is a result
// code ("OK", an error result, a "+CMGS:" reference), the "> " prompt, or the echo of an AT command.
// Line noise or a wrong line rate gives bytes outside that; a modem that was merely slow still shows
// its echo or prompt.
bool reply_is_intelligible(std::string_view text);

// Gives the port up; the engine calls it once, when it ends or gives up at start-up.
void port_close(SerialPort& port);
