#pragma once

#include "engine/engine_context.h"

#include <cstddef>
#include <string>

// Exchanges that end on the modem's answer instead of a fixed time: the engine reads what arrives as
// it arrives, and stops at the final result code (or the prompt for a PDU), a time-out, or a line that
// went down.

enum class AnswerEnd {
    Final,    // a final result code: OK or an error
    Prompt,   // the modem asks for the PDU
    TimedOut, // nothing that ends the answer came in time
    LinkDown, // the line broke
    TooLong,  // more than the limit arrived without an end
};

struct AnswerWait {
    int timeout_ms = 5000;        // the longest wait for the answer to end
    bool restart_on_data = false; // the time-out counts from the last bytes received (a long listing)
    bool prompt = false;          // the "> " prompt ends the answer too
    std::size_t limit = 0;        // 0: none; more bytes than this end the wait as TooLong
    int total_ms = 0;             // 0: none; an answer still coming after this ends as TooLong too
};

struct AwaitedAnswer {
    std::string text; // everything read, unsolicited lines included
    AnswerEnd end = AnswerEnd::TimedOut;
    long long waited_ms = 0;
};

// Reads until the answer ends as `wait` says. Pausing and stopping take hold between reads. A new
// message the modem announces meanwhile, and a status report it passes on, are noted in the engine
// state.
void note_announcements(EngineContext& ctx, const std::string& text);
AwaitedAnswer await_answer(EngineContext& ctx, const AnswerWait& wait);

// Reads what the modem sent unasked since the last exchange, so it is not taken for the next answer;
// it goes to the trace log, and an announced message is noted.
void drain_input(EngineContext& ctx);

// Writes a command and waits up to `timeout_ms` for its final result code.
AwaitedAnswer command_exchange(EngineContext& ctx, const std::string& command, int timeout_ms);

// The waits of one command with fixed waits, each left out when 0: a pause before anything, a wait
// before the command is written, the wait for its answer (whatever came by then is the answer), and a
// wait after it was read.
struct FixedWaits {
    int pause_ms = 0;
    int before_ms = 0;
    int after_ms = 0;
    int settle_ms = 0;
};

// One command and its answer, in the engine's mode; the one place that chooses between them. In the
// responsive mode the answer is read up to its final result code (at most command_timeout_ms); with
// fixed waits it is what came in `waits`.
std::string exchange_command(EngineContext& ctx, const std::string& command, const FixedWaits& waits);

// The waits of the responsive mode.
inline constexpr int command_timeout_ms = 5000;  // a plain command's final result code
inline constexpr int prompt_timeout_ms = 5000;   // the "> " prompt after the send command
inline constexpr int network_timeout_ms = 60000; // a submission's answer: the network can be slow
inline constexpr int listing_quiet_ms = 10000;   // a listing that stops coming without its OK
inline constexpr int read_slice_ms = 1000;       // the longest read between two pause points
