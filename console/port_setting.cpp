#include "console/port_setting.h"

#include "store/settings.h"

std::string read_port_setting(const char* default_value) {
    return read_setting("COM", default_value, port_setting_field);
}

std::optional<std::string> saved_port() {
    std::string port = read_port_setting("");
    if (port.empty()) {
        return std::nullopt;
    }
    return port;
}
