#include "store/received_keys.h"

#include "platform/text_file.h"
#include "store/spool.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t longest_name = 128;

bool is_key_text(std::string_view text, std::size_t longest) {
    return !text.empty() && text.size() <= longest &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 127; });
}

std::optional<long> record_of(std::string_view name) {
    long value = 0;
    if (name.size() < 2 || name.size() > 10 || name[0] != 'R') {
        return std::nullopt;
    }
    auto [end, error] = std::from_chars(name.data() + 1, name.data() + name.size(), value);
    if (error != std::errc() || end != name.data() + name.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

// Takes one line "<name> <key>" into `keys`.
void take_line(std::string_view line, ReceivedKeys& keys) {
    std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        return;
    }
    std::string_view name = line.substr(0, blank);
    std::string_view key = line.substr(blank + 1);
    if (!is_key_text(name, longest_name) || !is_key_text(key, longest_received_key)) {
        return;
    }
    bool further = name[0] == '+';
    if (std::optional<long> record = record_of(further ? name.substr(1) : name)) {
        std::set<std::string>& noted = keys.records[*record];
        if (!further) {
            noted.clear(); // the number noted again: what was noted before never became its record
        }
        noted.emplace(key);
        return;
    }
    if (name[0] == 'P' && name.size() > 1) {
        keys.parts[std::string(name.substr(1))] = std::string(key);
    }
}

// Appends "<name> <key>" lines in one write, flushed to the disk.
KeyNoted append_lines(const std::string& day, const std::vector<std::pair<std::string, std::string>>& lines) {
    // The line break before them keeps a line a crash cut short from running into the first.
    std::string text = "\r\n";
    for (const auto& [name, key] : lines) {
        if (!is_key_text(key, longest_received_key) || !is_key_text(name, longest_name)) {
            return KeyNoted::NotWritten;
        }
        text += name + " " + key + "\r\n";
    }
    const std::string path = received_keys_path(day);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd < 0) {
        return KeyNoted::NotWritten;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return KeyNoted::NotWritten;
    }
    if (static_cast<std::size_t>(info.st_size) >= most_received_key_bytes) {
        ::close(fd);
        return KeyNoted::Full;
    }
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    bool synced = ::fdatasync(fd) == 0;
    bool closed = ::close(fd) == 0;
    return written && synced && closed ? KeyNoted::Noted : KeyNoted::NotWritten;
}

} // namespace

std::string received_keys_path(const std::string& day) {
    return day + "/recv/keys";
}

ReceivedKeys read_received_keys(const std::string& day) {
    ReceivedKeys keys;
    // Room for the last line that still went in below the bound.
    BoundedRead file = read_file_bounded(received_keys_path(day),
                                         most_received_key_bytes + 2 * longest_name + 2 * longest_received_key);
    if (file.status != BoundedRead::Status::Read) {
        return keys;
    }
    std::string_view text = file.bytes;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            break; // a line a crash cut short
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            take_line(line, keys);
        }
    }
    return keys;
}

bool record_key_known(const std::string& day, const ReceivedKeys& keys, const std::string& key) {
    long stored = read_counter(day, SpoolDir::Recv);
    for (const auto& [record, noted] : keys.records) {
        if (record <= stored && noted.count(key) != 0) {
            return true;
        }
    }
    return false;
}

KeyNoted note_record_keys(const std::string& day, long record, const std::vector<std::string>& keys) {
    if (record < 1 || keys.empty() || keys.size() > most_keys_per_record) {
        return KeyNoted::NotWritten;
    }
    std::vector<std::pair<std::string, std::string>> lines;
    for (const std::string& key : keys) {
        lines.emplace_back((lines.empty() ? "R" : "+R") + std::to_string(record), key);
    }
    return append_lines(day, lines);
}

KeyNoted note_record_key(const std::string& day, long record, const std::string& key) {
    return note_record_keys(day, record, {key});
}

KeyNoted note_part_key(const std::string& day, const std::string& part, const std::string& key) {
    return append_lines(day, {{"P" + part, key}});
}
