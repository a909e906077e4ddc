#pragma once

#include <optional>
#include <string>
#include <string_view>

// The SHA-256 of `bytes` as 64 lower-case hex digits (OpenSSL), or nullopt when the library fails.
std::optional<std::string> sha256_hex(std::string_view bytes);
