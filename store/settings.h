#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The gateway's persistent settings: section SET of ./server.txt, one key at a time.
// Every reader passes its own default and buffer size; see the constants below.

inline constexpr const char* settings_file = "./server.txt";

std::string read_setting(const char* key, const char* default_value, std::size_t buffer_size);
[[nodiscard]] bool write_setting(const char* key, const std::optional<std::string>& value);

// RATE and MTYPE as numbers: leading blanks, an optional sign, then decimal digits; no digits give 0.
// The line speed is an unsigned 32-bit value, as the serial driver takes it.
std::uint32_t rate_number(const std::string& text);
long mtype_number(const std::string& text);

// The device types MTYPE stores.
enum class DeviceType { Siemens = 1, Wavecom = 2, Other = 3 };
