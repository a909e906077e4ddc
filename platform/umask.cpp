#include "platform/umask.h"

#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

std::optional<mode_t> umask_from_proc() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
            } catch (...) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

mode_t read_umask() {
    if (std::optional<mode_t> mask = umask_from_proc()) {
        return *mask;
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

mode_t process_umask() {
    static const mode_t mask = read_umask();
    return mask;
}
