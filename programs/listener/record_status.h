#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

// What became of one queued record: its recipients as the engine walks them (number ranges expanded,
// each with the index the engine gives it in the report logs) and, per recipient, "pending", "sent" or
// "failed".

struct WalkedRecipient {
    long index = 0;
    std::string recipient_gbk; // as the record names it (a range member as its own number)
    bool phone = false;        // a phone number the report line must name too
};

struct RecipientWalk {
    std::vector<WalkedRecipient> recipients;
    bool barred = false;    // a line starting with '*' ended the walk
    bool truncated = false; // more range members than are listed
};

// The recipients of an R file's text (text mode already undone), in the engine's order and indices;
// at most `limit` of them.
RecipientWalk walk_recipients(const std::string& recipients_text, std::size_t limit);

// The JSON answer for record `record` of `day`, or nullopt when the day has no such record.
std::optional<nlohmann::json> record_status_json(const std::string& day, long record);
