#include "platform/serial_port.h"

#include <cctype>

namespace {

// More digits than this cannot be a real port number; such a name is taken as a plain device name.
constexpr std::size_t max_port_digits = 6;

bool starts_with_com(std::string_view name) {
    return name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
           std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(name[2])) == 'M';
}

// The n of COMn, or 0 when the name is not of that form.
long com_port_number(std::string_view name) {
    if (!starts_with_com(name) || name.size() - 3 > max_port_digits) {
        return 0;
    }
    long n = 0;
    for (char c : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

int read_timeout_ms(std::size_t requested) {
    return static_cast<int>(5 * requested + 1000);
}

std::string device_path_for(std::string_view com_setting) {
    std::string path;
    if (com_setting.find('/') != std::string_view::npos) {
        path = com_setting;
    } else if (long n = com_port_number(com_setting); n > 0) {
        path = "/dev/ttyS" + std::to_string(n - 1);
    } else {
        path = "/dev/" + std::string(com_setting);
    }
    return path;
}
