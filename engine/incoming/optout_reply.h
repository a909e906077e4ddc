#pragma once

#include "engine/engine_context.h"

#include <string>

// A received message that is one of [OPTOUT] KEYWORDS (store/optout_keywords.h) puts its sender on the
// opt-out list (store/optout_list.h; the write is tried again until it is made, as the list must not
// lose a request), queues the REPLY text to the sender when one is set, and runs the OPTOUT hook.
// Senders that are no phone number are left alone. Returns whether the message was an opt-out.
bool opt_out_check(EngineContext& ctx, const std::string& text, const std::string& sender, long record, int parts);

// A reply queued as record `record` of `day` to `sender`: when the sender is on the opt-out list (or the
// list cannot be read), the record is noted so that the reply goes all the same (store/optout_answers.h).
void keep_answer_to_opted_out(EngineContext& ctx, const std::string& day, long record, const std::string& sender);
