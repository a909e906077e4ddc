#include "store/directory_files.h"

#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "platform/text_ops.h"

namespace {

// The lines of a text-mode file, each with its line feed as a line-by-line reader hands it over.
std::vector<std::string> lines_with_ends(const std::string& text) {
    std::vector<std::string_view> pieces = split_at_line_feeds(text);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        bool last = i + 1 == pieces.size();
        if (!last) {
            lines.push_back(std::string(pieces[i]) + "\n");
        } else if (!pieces[i].empty()) {
            lines.emplace_back(pieces[i]);
        }
    }
    return lines;
}

bool is_gbk_lead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

bool is_gbk_trail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

bool is_forbidden_in_file_name(char c) {
    return std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
}

} // namespace

bool write_marker(const std::string& path, std::string_view section, std::string_view value) {
    return ini_write(path, section, marker_key, std::string(value));
}

std::optional<std::vector<DirectoryLine>> read_directory_keys(const std::string& path) {
    auto text = read_text_file(path);
    if (!text) {
        return std::nullopt;
    }
    auto lines = lines_with_ends(*text);
    std::vector<DirectoryLine> out;
    // The section line and the marker entry are dropped unseen.
    for (size_t i = 2; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.size() <= 1) {
            continue;
        }
        out.push_back({static_cast<int>(i - 1), line.substr(0, line.find('='))});
    }
    return out;
}

std::optional<std::vector<DirectoryEntry>> read_directory_entries(const std::string& path, std::string_view section,
                                                                  std::string_view default_value,
                                                                  std::size_t buffer_size) {
    auto keys = read_directory_keys(path);
    if (!keys) {
        return std::nullopt;
    }
    // One parse of the file serves every key: a list of n entries costs O(n), not n parses.
    IniSnapshot snapshot(path);
    std::vector<DirectoryEntry> out;
    out.reserve(keys->size());
    for (auto& line : *keys) {
        std::string value = snapshot.read(section, line.key, default_value, buffer_size);
        out.push_back({line.number, std::move(line.key), std::move(value)});
    }
    return out;
}

std::string clean_file_name(std::string_view name_gbk) {
    std::string out;
    out.reserve(name_gbk.size());
    for (size_t i = 0; i < name_gbk.size(); ++i) {
        auto c = static_cast<unsigned char>(name_gbk[i]);
        if (is_gbk_lead(c) && i + 1 < name_gbk.size() && is_gbk_trail(static_cast<unsigned char>(name_gbk[i + 1]))) {
            out.append(name_gbk.substr(i, 2));
            ++i;
        } else if (!is_forbidden_in_file_name(name_gbk[i])) {
            out.push_back(name_gbk[i]);
        }
    }
    return out;
}
