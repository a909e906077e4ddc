#pragma once

#include <optional>
#include <string>

// The port setting COM of server.txt as the console reads it: with the engine's room for device paths
// of up to 255 bytes (com_setting_size), not the 20-byte field of the other boxes, since a box that
// showed a path cut would save the cut name back.

// COM with the given default, as the settings tab and the device test read it (GBK).
std::string read_port_setting(const char* default_value);

// The port the operator has saved, or nullopt when server.txt, its COM key or the key's value is
// missing: an empty COM names no port either.
std::optional<std::string> saved_port();
