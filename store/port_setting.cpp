#include "store/port_setting.h"

#include "platform/serial_port.h"
#include "store/settings.h"

std::string read_port_setting(const char* default_value) {
    return read_setting("COM", default_value, com_setting_size);
}

std::optional<std::string> saved_port() {
    std::string port = read_port_setting("");
    if (port.empty()) {
        return std::nullopt;
    }
    return port;
}
