#include "platform/ini_file.h"

#include "platform/text_ops.h"

#include "platform/fs.h"
#include "platform/text_file.h"

#include <vector>

namespace {

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The file's lines without their CR LF; a final line feed starts no line of its own.
std::vector<std::string> split_lines(const std::string& bytes) {
    std::vector<std::string_view> pieces = split_at_line_feeds(bytes);
    if (pieces.back().empty()) {
        pieces.pop_back();
    }
    std::vector<std::string> lines;
    lines.reserve(pieces.size());
    for (std::string_view piece : pieces) {
        if (!piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
        lines.emplace_back(piece);
    }
    return lines;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> section_of(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    size_t close = line.find(']');
    if (close == std::string_view::npos) {
        close = line.size();
    }
    return trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nullopt when the line has no '='.
std::optional<std::string_view> key_of(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return trim(line.substr(0, eq));
}

std::string_view value_of(std::string_view line) {
    std::string_view v = trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

struct Location {
    long section_line = -1; // index of the "[section]" line
    long section_end = -1;  // one past the last line of the section
    long key_line = -1;     // index of the key's line within the section
};

Location locate(const std::vector<std::string>& lines, std::string_view section) {
    Location loc;
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = section_of(lines[i]);
        if (!name) {
            continue;
        }
        if (loc.section_line >= 0) {
            loc.section_end = static_cast<long>(i);
            return loc;
        }
        if (same_name(*name, section)) {
            loc.section_line = static_cast<long>(i);
        }
    }
    if (loc.section_line >= 0) {
        loc.section_end = static_cast<long>(lines.size());
    }
    return loc;
}

void find_key(const std::vector<std::string>& lines, Location& loc, std::string_view key) {
    for (long i = loc.section_line + 1; i < loc.section_end; ++i) {
        auto k = key_of(lines[static_cast<size_t>(i)]);
        if (k && same_name(*k, key)) {
            loc.key_line = i;
            return;
        }
    }
}

std::string lower(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string cut(std::string value, std::size_t buffer_size) {
    std::size_t room = buffer_size > 0 ? buffer_size - 1 : 0;
    if (value.size() > room) {
        value.resize(room);
    }
    return value;
}

} // namespace

IniSnapshot::IniSnapshot(const std::string& path) {
    auto bytes = read_binary_file(path);
    if (!bytes) {
        return;
    }
    std::map<std::string, std::string>* current = nullptr;
    for (const std::string& line : split_lines(*bytes)) {
        if (auto name = section_of(line)) {
            auto [it, first] = sections_.try_emplace(lower(*name));
            current = first ? &it->second : nullptr;
        } else if (auto key = current ? key_of(line) : std::nullopt) {
            current->try_emplace(lower(*key), std::string(value_of(line)));
        }
    }
}

std::optional<std::string> IniSnapshot::value(std::string_view section, std::string_view key) const {
    auto s = sections_.find(lower(trim(section)));
    if (s == sections_.end()) {
        return std::nullopt;
    }
    auto k = s->second.find(lower(trim(key)));
    if (k == s->second.end()) {
        return std::nullopt;
    }
    return k->second;
}

const std::map<std::string, std::string>* IniSnapshot::section(std::string_view name) const {
    auto s = sections_.find(lower(trim(name)));
    return s == sections_.end() ? nullptr : &s->second;
}

std::string IniSnapshot::read(std::string_view section, std::string_view key, std::string_view default_value,
                              std::size_t buffer_size) const {
    return cut(value(section, key).value_or(std::string(default_value)), buffer_size);
}

std::string ini_read(const std::string& path, std::string_view section, std::string_view key,
                     std::string_view default_value, std::size_t buffer_size) {
    return IniSnapshot(path).read(section, key, default_value, buffer_size);
}

bool ini_has_key(const std::string& path, std::string_view section, std::string_view key) {
    return IniSnapshot(path).value(section, key).has_value();
}

bool ini_write(const std::string& path, std::string_view section, std::string_view key,
               const std::optional<std::string>& value, FileAccess access) {
    section = trim(section);
    key = trim(key);
    auto bytes = read_binary_file(path);
    if (!bytes && file_exists(path)) {
        // A file that is there but cannot be read (no permission, an I/O error, a directory) must not
        // be replaced by one that holds this entry alone.
        return false;
    }
    std::vector<std::string> lines = bytes ? split_lines(*bytes) : std::vector<std::string>{};
    Location loc = locate(lines, section);
    if (loc.section_line >= 0) {
        find_key(lines, loc, key);
    }
    std::string entry = std::string(key) + "=" + value.value_or("");
    if (!value) {
        if (loc.key_line < 0) {
            return true; // nothing to delete
        }
        lines.erase(lines.begin() + loc.key_line);
    } else if (loc.key_line >= 0) {
        lines[static_cast<size_t>(loc.key_line)] = entry;
    } else if (loc.section_line >= 0) {
        // A new key goes after the section's last non-blank line.
        long at = loc.section_end;
        while (at - 1 > loc.section_line && trim(lines[static_cast<size_t>(at - 1)]).empty()) {
            --at;
        }
        lines.insert(lines.begin() + at, entry);
    } else {
        lines.push_back("[" + std::string(section) + "]");
        lines.push_back(entry);
    }
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return replace_file_atomically(path, out, access);
}
