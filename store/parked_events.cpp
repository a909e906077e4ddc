#include "store/parked_events.h"

#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string one_line(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text.substr(0, 500);
}

} // namespace

std::string parked_events_path(const std::string& dir, const std::string& name) {
    return dir + "/parked-" + name + ".txt";
}

bool park_event(const std::string& dir, const std::string& name, const JournalEvent& event, const std::string& time,
                const std::string& reason) {
    std::string path = parked_events_path(dir, name);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    std::string line =
        std::to_string(event.seq) + '\t' + one_line(event.id) + '\t' + one_line(time) + '\t' + one_line(reason) + '\n';
    bool ok = ::fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) + line.size() <= parked_file_limit &&
              ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    int error = errno;
    ::close(fd);
    errno = error;
    return ok;
}

std::size_t parked_event_count(const std::string& dir, const std::string& name) {
    std::optional<std::string> bytes = read_binary_file(parked_events_path(dir, name), parked_file_limit);
    return bytes ? static_cast<std::size_t>(std::count(bytes->begin(), bytes->end(), '\n')) : 0;
}
