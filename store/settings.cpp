#include "store/settings.h"

#include "platform/fs.h"
#include "platform/ini_file.h"
#include "platform/text_ops.h"
#include "store/db/db_settings.h"
#include "store/modem_pool_settings.h"

std::string read_setting(const char* key, const char* default_value, std::size_t buffer_size) {
    // An engine of a pool reads its modem's own keys from its modem's section.
    if (const std::string* section = thread_modem_section(); section && is_modem_key(key)) {
        return ini_read(settings_file, *section, key, default_value, buffer_size);
    }
    return ini_read(settings_file, "SET", key, default_value, buffer_size);
}

bool write_setting(const char* key, const std::optional<std::string>& value) {
    return ini_write(settings_file, "SET", key, value, settings_file_access());
}

std::string read_setting(const Setting& setting) {
    return read_setting(setting.key, setting.fallback, setting.size);
}

bool write_setting(const Setting& setting, const std::optional<std::string>& value) {
    return write_setting(setting.key, value);
}

bool port_setting_present() {
    if (!file_exists(settings_file)) {
        return false;
    }
    if (!ini_has_key(settings_file, "SET", settings::com.key)) {
        return false;
    }
    std::string com = read_setting(settings::com);
    return com.find_first_not_of(" \t") != std::string::npos;
}

bool setting_is_on(const Setting& setting) {
    std::string value = read_setting(setting);
    std::size_t first = value.find_first_not_of(" \t");
    std::size_t last = value.find_last_not_of(" \t");
    return first != std::string::npos && value.substr(first, last - first + 1) == "1";
}

bool write_option(const Setting& setting, bool on) {
    return write_setting(setting, std::string(on ? "1" : "0"));
}

std::uint32_t rate_number(const std::string& text) {
    // A negative number wraps as the unsigned conversion of the C library does.
    return static_cast<std::uint32_t>(parse_decimal(text));
}

long mtype_number(const std::string& text) {
    return static_cast<long>(parse_decimal(text));
}
