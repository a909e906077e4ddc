#pragma once

#include "engine/engine_context.h"

#include <string>

// Delivery reports (with the option on): every message asks the network for a status report; the
// reference the modem gives it is kept with its record and recipient, and the reports that come back
// (as "+CDS:" indications or in the message listing) go to the day's delivery log.

struct SentReference;

// After a message (or a part) was taken: keeps the reference the modem's answer gave it.
void note_reference(EngineContext& ctx, const std::string& answer, const SentReference& sent);

// One status report PDU: matched to what was sent today or the day before, and logged. A report that
// matches nothing goes to the trace.
void take_status_report(EngineContext& ctx, const std::string& pdu_line);

// The reports that arrived as indications in the middle of other exchanges, in the order they came.
void take_pending_reports(EngineContext& ctx);
