#include "store/held_parts.h"

#include "platform/fs.h"
#include "platform/text_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

namespace {

constexpr std::string_view done_suffix = ".done";

std::string hex_of(const std::string& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
    return out;
}

std::optional<std::string> bytes_of(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(value));
    }
    return out;
}

std::string key_name(const PartKey& key) {
    return hex_of(key.sender) + "_" + std::to_string(key.reference) + "_" + std::to_string(key.count);
}

std::optional<long long> number_of(std::string_view text) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// "<hex>_<reference>_<count>" and what follows it; nothing for a name of another form.
struct ParsedName {
    PartKey key;
    std::string rest; // "_<part>" or ".done"
};

std::optional<ParsedName> parse_name(const std::string& name) {
    std::size_t first = name.find('_');
    std::size_t second = first == std::string::npos ? first : name.find('_', first + 1);
    if (second == std::string::npos) {
        return std::nullopt;
    }
    std::size_t end = name.find_first_of("_.", second + 1);
    auto sender = bytes_of(std::string_view(name).substr(0, first));
    auto reference = number_of(std::string_view(name).substr(first + 1, second - first - 1));
    auto count =
        number_of(std::string_view(name).substr(second + 1, end == std::string::npos ? end : end - second - 1));
    if (!sender || !reference || !count || end == std::string::npos) {
        return std::nullopt;
    }
    return ParsedName{{*sender, static_cast<int>(*reference), static_cast<int>(*count)}, name.substr(end)};
}

std::optional<HeldPart> read_part(const std::string& path, int sequence) {
    std::optional<std::string> text = read_text_file(path);
    if (!text) {
        return std::nullopt;
    }
    std::size_t line_end = text->find('\n');
    auto arrived = number_of(std::string_view(*text).substr(0, line_end));
    if (!arrived || line_end == std::string::npos) {
        return std::nullopt;
    }
    return HeldPart{sequence, *arrived, text->substr(line_end + 1)};
}

// Adds what the file `name` holds to its group in `groups`.
void take_file(const std::string& day, const std::string& name, std::map<std::string, HeldGroup>& groups) {
    std::optional<ParsedName> parsed = parse_name(name);
    if (!parsed) {
        return;
    }
    HeldGroup& group = groups[key_name(parsed->key)];
    group.key = parsed->key;
    std::string path = parts_dir(day) + "/" + name;
    if (parsed->rest == done_suffix) {
        std::optional<std::string> when = read_first_line(path, 32);
        group.done = when ? number_of(*when).value_or(0) : 0;
        return;
    }
    auto sequence = number_of(std::string_view(parsed->rest).substr(1));
    if (parsed->rest[0] != '_' || !sequence) {
        return;
    }
    if (std::optional<HeldPart> part = read_part(path, static_cast<int>(*sequence))) {
        group.parts.push_back(std::move(*part));
    }
}

std::vector<HeldGroup> groups_in(const std::string& day, const std::optional<PartKey>& only) {
    std::map<std::string, HeldGroup> groups;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(parts_dir(day), error)) {
        std::string name = entry.path().filename().string();
        if (!only || name.starts_with(key_name(*only) + "_") || name == key_name(*only) + std::string(done_suffix)) {
            take_file(day, name, groups);
        }
    }
    std::vector<HeldGroup> out;
    for (auto& [name, group] : groups) {
        std::sort(group.parts.begin(), group.parts.end(),
                  [](const HeldPart& a, const HeldPart& b) { return a.sequence < b.sequence; });
        out.push_back(std::move(group));
    }
    return out;
}

} // namespace

std::string parts_dir(const std::string& day) {
    return day + "/parts";
}

bool hold_part(const std::string& day, const PartKey& key, const HeldPart& part) {
    make_dir(parts_dir(day));
    std::string path = parts_dir(day) + "/" + key_name(key) + "_" + std::to_string(part.sequence);
    return replace_text_file_atomically(path, std::to_string(part.arrived) + "\n" + part.text);
}

HeldGroup held_group(const std::string& day, const PartKey& key) {
    std::vector<HeldGroup> groups = groups_in(day, key);
    if (groups.empty()) {
        return HeldGroup{key, {}, std::nullopt};
    }
    return std::move(groups.front());
}

std::vector<HeldGroup> held_groups(const std::string& day) {
    return groups_in(day, std::nullopt);
}

bool mark_group_done(const std::string& day, const PartKey& key, long long when) {
    make_dir(parts_dir(day));
    return replace_text_file_atomically(parts_dir(day) + "/" + key_name(key) + std::string(done_suffix),
                                        std::to_string(when));
}

void remove_group(const std::string& day, const PartKey& key, bool marker) {
    HeldGroup group = held_group(day, key);
    for (const HeldPart& part : group.parts) {
        remove_file(parts_dir(day) + "/" + key_name(key) + "_" + std::to_string(part.sequence));
    }
    if (marker) {
        remove_file(parts_dir(day) + "/" + key_name(key) + std::string(done_suffix));
    }
}
