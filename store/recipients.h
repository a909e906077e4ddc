#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a recipient line can name. The engine sends to a phone number (a national number of at most 12
// digits, or an international one, '+' and up to 15 digits: store/phone_number.h), expands a number
// range (a line whose twelfth character is '-') and resolves a customer token (a line holding the byte
// 0x02) through the category files; a line that is none of these reaches nobody.

// The most recipients one message may stand for, number ranges counted member by member.
inline constexpr std::uint64_t max_message_recipients = 100000;

// A number the engine can put into a submit PDU: 1 to 12 digits, or '+' and 1 to 15 digits.
bool is_phone_number(std::string_view text);

// An optional '+' followed by 1 to 20 digits: a sender that can be answered with a message.
bool is_reply_address(std::string_view text);

// The recipient lines a box text stands for, as the engine prepares them: the ';' rule of the stored
// file applied, each line cut at its first CR or LF and its blanks removed. Empty lines name nobody and
// are left out.
std::vector<std::string> box_recipient_lines(const std::string& box_text);

// The lines of the box text (as the operator typed them, cut at their line end) that are neither a phone
// number, nor a number range, nor a customer token, in box order. Empty when every line can be sent to.
// A token must name a listed category and be safe (store/customer_token.h); a range must be exact.
std::vector<std::string> unsendable_recipients(const std::string& box_text);

// The lines no writer may queue, even one that lets unknown text through for the engine to report: a
// customer token that is unsafe, names a category "./cust/custindex" does not list, or whose category
// file is no regular file inside the working directory (store/customer_token.h), and a line
// written as a number range that is no exact range (store/number_range.h).
std::vector<std::string> refused_recipients(const std::string& box_text);

// How many recipients the box stands for: a range counts its members, every other line one.
std::uint64_t recipient_count(const std::string& box_text);
