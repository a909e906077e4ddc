#include "store/settings.h"

#include "platform/ini_file.h"
#include "platform/text_ops.h"

std::string read_setting(const char* key, const char* default_value, std::size_t buffer_size) {
    return ini_read(settings_file, "SET", key, default_value, buffer_size);
}

bool write_setting(const char* key, const std::optional<std::string>& value) {
    return ini_write(settings_file, "SET", key, value);
}

std::uint32_t rate_number(const std::string& text) {
    // A negative number wraps as the unsigned conversion of the C library does.
    return static_cast<std::uint32_t>(parse_decimal(text));
}

long mtype_number(const std::string& text) {
    return static_cast<long>(parse_decimal(text));
}
