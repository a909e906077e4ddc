#include "store/reply_records.h"

#include "platform/text_file.h"

#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr std::size_t most_bytes = 4 * 1024 * 1024;

std::set<long> read_numbers(const std::string& path) {
    std::set<long> numbers;
    BoundedRead file = read_file_bounded(path, most_bytes);
    if (file.status != BoundedRead::Status::Read) {
        return numbers;
    }
    std::string text = from_text_mode(file.bytes);
    text.erase(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1); // a cut line
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.size() <= 9 && line.find_first_not_of("0123456789") == std::string::npos) {
            numbers.insert(std::stol(line));
        }
    }
    return numbers;
}

bool append_number(const std::string& path, long n) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd < 0) {
        return false;
    }
    // The line break before it keeps a line a crash cut short from running into this one.
    std::string line = "\r\n" + std::to_string(n) + "\r\n";
    bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    bool synced = ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && written && synced;
}

} // namespace

std::string reply_records_path(const std::string& day) {
    return day + "/send/replies";
}

std::string early_records_path(const std::string& day) {
    return day + "/send/early";
}

std::set<long> read_reply_records(const std::string& day) {
    return read_numbers(reply_records_path(day));
}

std::set<long> read_early_records(const std::string& day) {
    return read_numbers(early_records_path(day));
}

bool note_reply_record(const std::string& day, long record) {
    return append_number(reply_records_path(day), record);
}

bool note_early_record(const std::string& day, long record) {
    return append_number(early_records_path(day), record);
}
