#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The port setting COM of server.txt as the console reads it.

// Room for a device path of up to 255 bytes and its terminator. The other settings fit the window's
// 20-byte fields, but a port given as a path (/dev/serial/by-id/usb-...) is much longer, and a box that
// showed it cut would save the cut name back.
inline constexpr std::size_t port_setting_field = 256;

// COM with the given default, as the settings tab and the device test read it (GBK).
std::string read_port_setting(const char* default_value);

// The port the operator has saved, or nullopt when server.txt, its COM key or the key's value is
// missing: an empty COM names no port either.
std::optional<std::string> saved_port();
