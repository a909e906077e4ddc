#include "store/db/db_settings.h"

#include "platform/ini_file.h"
#include "store/db/connection_string.h"
#include "store/settings.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

// A whole number from `low` to `high`, or the default with a problem noted.
int bounded(DbSettings& settings, const char* key, int low, int high, int fallback) {
    std::string text = ini_read(settings_file, "DB", key, "", 32);
    if (text.empty()) {
        return fallback;
    }
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || value < low || value > high) {
        settings.problems.push_back(std::string(key) + "=" + text + ": not " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", " + std::to_string(fallback) + " taken");
        return fallback;
    }
    return static_cast<int>(value);
}

std::string trimmed(std::string text) {
    std::size_t start = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

} // namespace

std::string default_gateway_name() {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        host[0] = '\0';
    }
    char dir[PATH_MAX] = {};
    const char* cwd = ::getcwd(dir, sizeof dir) ? dir : ".";
    return std::string(host[0] ? host : "localhost") + ":" + cwd;
}

DbSettings read_db_settings() {
    DbSettings settings;
    settings.dsn = trimmed(ini_read(settings_file, "DB", "DSN", "", 4096));
    settings.gateway = trimmed(ini_read(settings_file, "DB", "GATEWAY", "", 256));
    if (settings.gateway.empty()) {
        settings.gateway = default_gateway_name();
    }
    settings.lease_seconds = bounded(settings, "LEASE", 5, 3600, 60);
    settings.batch = bounded(settings, "BATCH", 1, 100, 5);
    return settings;
}

FileAccess settings_file_access() {
    std::string dsn = trimmed(ini_read(settings_file, "DB", "DSN", "", 4096));
    return !dsn.empty() && ConnectionString(dsn).holds_secret() ? FileAccess::OwnerOnly : FileAccess::Kept;
}
