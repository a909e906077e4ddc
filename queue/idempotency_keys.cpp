#include "queue/idempotency_keys.h"

#include "platform/text_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

bool hex_digest(std::string_view text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// A spool date such as "2026-1-31": digits and '-' only, so it names no other folder.
bool spool_day_text(std::string_view text) {
    return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789-") == std::string_view::npos &&
           text.front() != '-';
}

bool answer_word(std::string_view text) {
    if (text.empty() || text.size() > 32) {
        return false;
    }
    for (char c : text) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

template <typename Number> std::optional<Number> decimal(std::string_view text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    return value;
}

// The next blank-separated field of `rest`, taken off its front.
std::string_view take_field(std::string_view& rest) {
    std::size_t blank = rest.find(' ');
    std::string_view field = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    return field;
}

} // namespace

bool valid_idempotency_key(std::string_view key) {
    if (key.empty() || key.size() > max_idempotency_key) {
        return false;
    }
    for (char c : key) {
        if (c < ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

bool valid_key_writer(std::string_view name) {
    if (name.empty() || name.size() > 80 || name.front() == '.') {
        return false;
    }
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string key_file_path(const std::string& writer) {
    return std::string(idempotency_dir) + "/" + writer + ".txt";
}

std::string key_lock_path(const std::string& writer) {
    return std::string(idempotency_dir) + "/" + writer + ".lock";
}

std::string key_line(const KeyEntry& entry) {
    return std::to_string(entry.seconds) + " " + entry.day + " " + std::to_string(entry.record) + " " +
           entry.message_hash + " " + entry.record_hash + " " + entry.answer + " " + entry.key;
}

std::optional<KeyEntry> parse_key_line(std::string_view line) {
    if (line.size() > max_key_line) {
        return std::nullopt;
    }
    KeyEntry entry;
    std::string_view rest = line;
    auto seconds = decimal<long long>(take_field(rest));
    entry.day = std::string(take_field(rest));
    auto record = decimal<long>(take_field(rest));
    entry.message_hash = std::string(take_field(rest));
    entry.record_hash = std::string(take_field(rest));
    entry.answer = std::string(take_field(rest));
    entry.key = std::string(rest);
    if (!seconds || !record || *record < 1 || *record > 999999999 || !spool_day_text(entry.day) ||
        !hex_digest(entry.message_hash) || !hex_digest(entry.record_hash) || !answer_word(entry.answer) ||
        !valid_idempotency_key(entry.key)) {
        return std::nullopt;
    }
    entry.seconds = *seconds;
    entry.record = *record;
    return entry;
}

bool key_alive(const KeyEntry& entry, long long now) {
    long long age = now - entry.seconds;
    return age < idempotency_lifetime_seconds && age > -idempotency_lifetime_seconds;
}

KeyFile read_key_file(const std::string& path) {
    KeyFile file;
    BoundedRead raw = read_file_bounded(path, max_key_file_bytes);
    if (raw.status == BoundedRead::Status::CannotOpen && raw.error == ENOENT) {
        file.read = true;
        return file;
    }
    if (raw.status != BoundedRead::Status::Read) {
        file.error = raw.status == BoundedRead::Status::TooLarge
                         ? "cannot read " + path + ": larger than " + std::to_string(max_key_file_bytes) + " bytes"
                         : "cannot read " + path + ": " + std::strerror(raw.error ? raw.error : EIO);
        return file;
    }
    std::string text = from_text_mode(raw.bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line(text.data() + start, (end == std::string::npos ? text.size() : end) - start);
        if (auto entry = parse_key_line(line)) {
            file.entries.push_back(std::move(*entry));
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    file.read = true;
    return file;
}

bool write_key_file(const std::string& path, const std::vector<KeyEntry>& entries, std::string& error) {
    std::string text;
    for (const KeyEntry& entry : entries) {
        text += key_line(entry) + "\n";
    }
    if (text.size() + entries.size() > max_key_file_bytes) { // every line end becomes CR LF
        error = "cannot write " + path + ": it would be larger than " + std::to_string(max_key_file_bytes) + " bytes";
        return false;
    }
    if (!replace_text_file_atomically(path, text)) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
