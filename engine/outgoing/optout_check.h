#pragma once

#include "engine/engine_context.h"
#include "store/optout_list.h"

#include <optional>
#include <string>

// The send pass's side of the opt-out list (store/optout_list.h): a recipient on it gets nothing. The
// list is read once for each record, when its first recipient is checked; a list that exists but cannot
// be read holds every recipient of the record back, as nobody can tell who asked for nothing.
// Replies noted in store/optout_answers.h go through.
struct OptOutCheck {
    std::string day;
    long record = -1;
    std::string country;
    std::optional<OptOutList> list; // nullopt: optout.txt could not be read
    std::optional<bool> answer;     // the record is a noted reply; read when first needed
};

// Why nothing goes to `phone` (UTF-8, for report_unsendable), or nullptr when it may go.
const char* optout_refusal(EngineContext& ctx, const std::string& phone, long record);
