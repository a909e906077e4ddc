#pragma once

#include "engine/engine_context.h"
#include "modem/pdu/pdu_codec.h"

#include <optional>
#include <string>

// One attempt to hand a submit PDU to the modem, and what came of it.
struct AttemptResult {
    enum class Outcome { Sent, Refused, LinkDown };
    Outcome outcome = Outcome::Refused;
    std::string answer; // what the modem said to the attempt
};

// One attempt (0-based `attempt`), in the engine's current mode:
// - fixed waits: the send command, a wait that stands in for the prompt, the PDU, a wait, then the
//   answer; sent when it holds "OK" and no error;
// - responsive: the send command, the modem's "> " prompt, the PDU, then the answer up to its final
//   result code; sent when the modem gave a message reference and OK.
// A modem that answers nothing at all, or a line that broke, is not a refusal of the message: the link
// is down and the attempt must be made again once the modem is back.
AttemptResult attempt_send(EngineContext& ctx, const SubmitPdu& pdu, const std::string& pdu_text, int attempt);

// The wait before attempt `attempt` (from 1) in responsive mode, where no fixed waits after the PDU
// grow with the attempts.
int responsive_retry_wait_ms(int attempt);
// The pause after a failed attempt with the empty-number protection on.
int pause_after_failure_ms(const EngineOptions& options);
