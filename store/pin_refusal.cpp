#include "store/pin_refusal.h"

#include "platform/text_file.h"
#include "store/settings.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// server.txt's device, inode, size and time of change: any rewrite of it changes the last.
std::optional<std::string> settings_fingerprint() {
    struct stat st {};
    if (::stat(settings_file, &st) != 0) {
        return std::nullopt;
    }
    return std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

} // namespace

bool note_pin_refused() {
    std::optional<std::string> fingerprint = settings_fingerprint();
    return fingerprint && replace_file_atomically(pin_refusal_path, "server.txt " + *fingerprint + "\n");
}

bool pin_refused_before() {
    std::optional<std::string> note = read_first_line(pin_refusal_path, 256);
    std::optional<std::string> fingerprint = settings_fingerprint();
    return note && fingerprint && *note == "server.txt " + *fingerprint;
}

bool forget_pin_refusal() {
    return ::unlink(pin_refusal_path) == 0 || errno == ENOENT;
}
