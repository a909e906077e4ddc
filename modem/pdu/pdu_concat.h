#pragma once

#include "modem/pdu/pdu_codec.h"

#include <optional>
#include <string_view>
#include <vector>

// Concatenated short messages: a long text sent as linked parts, each carrying a user-data header
// whose concatenation element names the message (a reference), the number of parts and the part's
// place among them.

// The most parts a long message may have, and what each part holds after its 6-octet header.
inline constexpr int max_message_parts = 10;
inline constexpr int septets_per_part = 153;
inline constexpr int ucs2_units_per_part = 67;

// Splits encoded content into parts that each fit one message beside a concatenation header: at most
// 153 septets or 67 UCS-2 units, never half an escape pair or a surrogate pair. A content that fits
// one message without a header comes back as that one part. Returns no more than `max_parts` parts;
// what goes past them is dropped (`complete` says whether anything was).
struct SplitContent {
    std::vector<UserData> parts;
    bool complete = true;
};
SplitContent split_user_data(std::string_view hex, bool seven_bit, int septets, int max_parts = max_message_parts);

// How many parts a content takes (1 when it fits one message).
int parts_needed(std::string_view hex, bool seven_bit, int septets);

// The user data of part `sequence` (from 1) of `count` with an 8-bit-reference concatenation header in
// front. For 7-bit data the text starts on the septet boundary after the header, and `septets` counts
// the header's septets too.
UserData with_concat_header(const UserData& part, bool seven_bit, int reference, int count, int sequence);

// The concatenation element (ConcatInfo) from the user data of a received or submitted message whose header indicator
// is set; nothing when the header holds no usable concatenation element (count 0, sequence 0 or past the count).
std::optional<ConcatInfo> concat_info(std::string_view user_data_hex);
