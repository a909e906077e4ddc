#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Phone numbers in the two forms the gateway sends to, and one form to compare them in.
//
// A national number is 1 to 12 digits; the modem sends it with the country code 86 before it. An
// international number is written in E.164 form, '+' and 1 to 15 digits, and goes out as it stands.
// Senders, delivery reports and the operator's files write one number in several ways
// ("+8613900000001", "8613900000001", "13900000001"); compared in canonical form they are one number.
// The country national numbers belong to is [SET] COUNTRY of server.txt (default 86).

inline constexpr std::size_t max_national_digits = 12;
inline constexpr std::size_t max_international_digits = 15;
inline constexpr const char* default_country = "86";

// 1 to 12 digits, nothing else.
bool is_national_number(std::string_view text);

// '+' followed by 1 to 15 digits, nothing else.
bool is_international_number(std::string_view text);

// 1 to 3 digits.
bool is_country_code(std::string_view text);

// COUNTRY of ./server.txt without a leading '+'; the default when it is missing or no country code.
std::string home_country();

// The canonical form of a number: '+', the country code, the national number. An international number
// stands for itself; a national one (at most 12 digits) belongs to `country`; 13 to 15 digits are too
// long to be national and are an international number written without its '+'. Nothing when `number`
// is none of these or `country` is no country code.
std::optional<std::string> canonical_number(std::string_view number, std::string_view country);

// Whether two texts name one number. Texts that are no numbers never match, not even each other.
bool same_number(std::string_view a, std::string_view b, std::string_view country);

// The form the gateway stores a canonical number in: a number of `country` as a national number
// (without its country code), any other in international form.
std::string stored_number(const std::string& canonical, std::string_view country);

// The ways a number may be written in the operator's files, the text as given first: the national
// number, it with the country code, and the international form. Only the text itself when it is no
// number.
std::vector<std::string> number_spellings(std::string_view number, std::string_view country);
