#pragma once

#include <string>

// Why a serial device cannot be opened, told so the operator knows what to do: it does not exist,
// this user may not open it (the dialout group), another process holds it (which one), or it is no
// serial device at all. GBK text, one line without a line end. Looks at the device without keeping it.
std::string port_open_failure(const std::string& path);
