#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Field k (from 1) of `text` split at `sep`: the text between the (k-1)-th and the k-th separator.
// When the text has fewer than k separators, or k <= 0, `out` is the whole text and the result is -1,
// so callers that want the last field append a separator first. Otherwise the result is 0.
int field_split(std::string_view text, char sep, int k, std::string& out);

// Every occurrence of `byte` removed.
std::string remove_byte(std::string_view text, char byte);

// The text up to, not including, its first CR or LF.
std::string cut_at_line_end(std::string_view text);

// Decimal conversion as the C library's atol does it: leading blanks skipped, an optional sign, then
// digits up to the first other character; no digits give 0. Saturates instead of overflowing.
std::int64_t parse_decimal(std::string_view text);

// The pieces of `text` between line feeds, without them: n line feeds give n + 1 pieces, the last being
// what follows the last line feed (empty when the text ends in one). The views point into `text`.
std::vector<std::string_view> split_at_line_feeds(std::string_view text);
