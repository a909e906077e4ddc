#pragma once

#include "store/event_journal.h"

#include <nlohmann/json.hpp>

// One event of the journal as the gateway's receivers see it: the webhooks' body and each element of
// the intake's event stream. A JSON object (UTF-8) with the event's id, its kind ("event"), its place
// in the journal ("seq") and its time, and the fields the intake uses for the same things: for a
// recipient's event (sent, failed, delivered) "day", "record", "index", "to", "status", "text",
// "parts"; for a received message or an opt-out "day", "record", "from", "text", "parts"; for the
// engine's state "state"; for a modem reset "text". A failure a delivery report tells has "report", the
// report's status; one the modem or the gateway refused at sending has "reason".
nlohmann::json event_json(const JournalEvent& event);
