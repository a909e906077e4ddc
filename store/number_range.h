#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A recipient line "13566668888-13577779999": every number from the first to the last.
struct NumberRange {
    char lead = '1';       // the first digit, shared by both ends
    std::uint32_t low = 0; // the ten digits after it, as a number
    std::uint32_t high = 0;
    std::uint64_t size() const { return static_cast<std::uint64_t>(high) - low + 1; }
    // The recipient for value v: the lead digit followed by v without leading zeros.
    std::string number(std::uint64_t v) const { return std::string(1, lead) + std::to_string(v); }
};

// Whether a prepared recipient line is written as a range (its twelfth character is '-').
bool looks_like_range(const std::string& line);

// The range a line names, with every ';' removed first. Both ends must be eleven digits with the same
// first digit, their last ten digits must fit 32 bits, and the upper end must not be below the lower;
// anything else gives nullopt, so the engine never sends to a number outside what was typed.
std::optional<NumberRange> parse_number_range(const std::string& line);
