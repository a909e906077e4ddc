#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Customer tokens in the recipients box: category name, the byte 0x02, customer name, each token closed
// by ';'. Submission looks the number up by the token when it sends. Texts are GBK.

inline constexpr char token_separator = '\x02';
// Past this many bytes in the recipients box, picking adds nothing.
inline constexpr std::size_t pick_limit_bytes = 1010;

std::string customer_token(std::string_view category, std::string_view customer);

// Whether the token is in the recipients text as one of its ';'-closed fields, or as the last line of
// one. Fields are compared whole, however long.
bool token_in_recipients(std::string_view recipients, std::string_view token);

// The recipients text with the token and ';' appended, or nullopt when the box is over the limit or
// holds the token already.
std::optional<std::string> pick_customer(std::string_view recipients, std::string_view token);
