#include "store/optout_answers.h"

#include "platform/text_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A day's replies are bounded by the day's records; this is far beyond any.
constexpr std::size_t most_answer_bytes = std::size_t{4} << 20;

} // namespace

std::string optout_answers_path(const std::string& day) {
    return day + "/send/optout-answers";
}

std::set<long> read_optout_answers(const std::string& day) {
    std::set<long> records;
    std::optional<std::string> text = read_binary_file(optout_answers_path(day), most_answer_bytes);
    if (!text) {
        return records;
    }
    const char* at = text->c_str();
    while (*at != '\0') {
        char* end = nullptr;
        long record = std::strtol(at, &end, 10);
        if (end == at) {
            ++at; // a blank, a line end or a stray byte
            continue;
        }
        if (record > 0) {
            records.insert(record);
        }
        at = end;
    }
    return records;
}

bool note_optout_answer(const std::string& day, long record) {
    int fd = ::open(optout_answers_path(day).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return false;
    }
    const std::string line = std::to_string(record) + "\r\n";
    ssize_t written = ::write(fd, line.data(), line.size());
    int error = errno;
    bool closed = ::close(fd) == 0;
    if (written != static_cast<ssize_t>(line.size())) {
        errno = written < 0 ? error : EIO;
        return false;
    }
    return closed;
}
