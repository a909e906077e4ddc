#pragma once

#include "engine/engine_context.h"
#include "engine/engine_halt.h"

#include <optional>
#include <string>

// The SIM before anything else is asked of the modem: AT+CPIN? tells whether it is ready, locked
// behind its PIN or PUK, missing or failed. With server.txt's PIN set (or in the responsive mode,
// to tell a locked SIM from a broken modem) it is asked at start and after every reopening; the PIN
// is entered once when the SIM asks for it, and never again by itself when it was refused: three
// wrong tries would lock the SIM behind its PUK. The PIN goes to the modem only, never to a log.

enum class SimReading {
    Ready,
    PinNeeded,
    PukNeeded,
    OtherLock, // another code first: PH-SIM PIN, SIM PIN2, a network lock ...
    Missing,
    Failed,
    Busy,     // the SIM is still starting up
    Unknown,  // a plain ERROR or an answer without the state: a modem that does not say
    NoAnswer, // nothing ended the answer
};

// What an answer to AT+CPIN? says; `lock` gets the code asked for with OtherLock ("PH-SIM PIN").
SimReading read_sim_answer(const std::string& answer, std::string* lock = nullptr);

// A PIN as a SIM takes it: 4 to 8 digits.
bool pin_is_valid(const std::string& pin);

// Asks the SIM and unlocks it with the PIN when it asks for one. nullopt: the engine goes on (a ready
// SIM, or a modem that did not say: its link is judged elsewhere); otherwise the state and the
// monitor text the engine stops with.
std::optional<EngineHalted> unlock_sim(EngineContext& ctx);

// Waits of the SIM's exchanges.
inline constexpr int pin_answer_timeout_ms = 10000; // checking a PIN takes the SIM a while
inline constexpr int sim_retry_ms = 1000;           // between two questions to a busy SIM
inline constexpr int sim_questions = 10;            // at most this many AT+CPIN? in one check
