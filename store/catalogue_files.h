#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The on-demand catalogue (query code -> reply text), its counter, and the members file that decides
// who is answered when replies go to members only. Codes, texts and numbers are GBK.

inline constexpr const char* catalogue_dir = "./query/";
inline constexpr const char* catalogue_file = "./query/query";
inline constexpr const char* catalogue_section = "query";
inline constexpr const char* catalogue_counter_file = "./query/acc";

// Creates "./query/"; an existing directory or a failure is ignored.
void make_catalogue_dir();

std::string catalogue_read(std::string_view code, std::string_view default_value, std::size_t buffer_size);
// nullopt deletes the code.
[[nodiscard]] bool catalogue_write(std::string_view code, const std::optional<std::string>& text);

// The counter of successful adds minus deletes. A missing counter file is created holding 0 first, so
// counting starts from 0; the first line (up to 511 bytes) is taken by decimal conversion.
std::int64_t read_catalogue_counter();
// Stored as a bare decimal number without a line end, replaced atomically.
[[nodiscard]] bool write_catalogue_counter(std::int64_t value);
// Reads, adds `delta` and writes back; gives the new value, or nullopt when it could not be written.
[[nodiscard]] std::optional<std::int64_t> step_catalogue_counter(std::int64_t delta);

inline constexpr const char* members_file = "./huiyuan.txt";
inline constexpr const char* members_section = "SET";

// The member entry of a sender number, read with room for 511 characters; "123219" when absent.
std::string read_member_value(std::string_view number);
// A value names a member unless its decimal value is 123219, the default a missing key gives back.
bool is_member_value(std::string_view value);
bool is_member(std::string_view number);
