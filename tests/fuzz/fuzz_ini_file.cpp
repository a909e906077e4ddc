// Fuzz target: the INI reader and writer on arbitrary file bytes.
//
// The input is the whole file. The target reads keys whose names come from the file itself (so
// reads find something) and a few fixed ones, and checks the properties callers rely on:
// - IniSnapshot gives what ini_read and ini_has_key give, value and presence;
// - a value is cut to the buffer size less one, and the cut is a start of the whole value;
// - a written value reads back as written, and no other key changes;
// - a key added and then deleted leaves every read as it was before the add.

#include "fuzz_support.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string path = "fuzz.ini";
constexpr std::size_t whole = 1 << 20; // a buffer no value of the input fills
constexpr std::size_t max_names = 6;
const std::string absent = "\x01(absent)";

struct Name {
    std::string section;
    std::string key;
};

std::string_view trim_blanks(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Section and key names as they stand in the file: "[name]" lines and the text before '=' of the
// lines under them. Only a guide to what to read; whether the reader agrees is what is checked.
std::vector<Name> names_in(std::string_view bytes) {
    std::vector<Name> names{{"SET", "COM"}, {"query", "1"}};
    std::optional<std::string> section;
    while (!bytes.empty() && names.size() < max_names) {
        std::size_t end = std::min(bytes.find('\n'), bytes.size());
        std::string_view line = trim_blanks(bytes.substr(0, end));
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        if (!line.empty() && line.front() == '[') {
            std::size_t close = std::min(line.find(']'), line.size());
            section = std::string(trim_blanks(line.substr(1, close - 1)));
            names.push_back({*section, "fuzz_new_key"});
        } else if (std::size_t eq = line.find('='); section && eq != std::string_view::npos) {
            names.push_back({*section, std::string(trim_blanks(line.substr(0, eq)))});
        }
    }
    return names;
}

bool same_name(std::string_view a, std::string_view b) {
    a = trim_blanks(a);
    b = trim_blanks(b);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool same_entry(const Name& a, const Name& b) {
    return same_name(a.section, b.section) && same_name(a.key, b.key);
}

// A value that can be written and read back unchanged: one line, no blanks around it, and not
// enclosed in quotes (the reader strips those).
std::string writable_value(std::string_view bytes) {
    std::string value;
    for (char c : bytes.substr(0, 40)) {
        if (c != '\r' && c != '\n') {
            value.push_back(c);
        }
    }
    value = std::string(trim_blanks(value));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value.push_back('.');
    }
    return value;
}

std::string read_key(const Name& name) {
    return ini_read(path, name.section, name.key, absent, whole);
}

std::vector<std::string> read_all(const std::vector<Name>& names) {
    std::vector<std::string> values;
    for (const Name& name : names) {
        values.push_back(read_key(name));
    }
    return values;
}

// `buffer` is the small buffer size the cut values are read with.
void check_reads_agree(const std::vector<Name>& names, std::size_t buffer) {
    IniSnapshot snapshot(path);
    for (const Name& name : names) {
        const char* s = name.section.c_str();
        const char* k = name.key.c_str();
        std::string value = read_key(name);
        if (snapshot.read(name.section, name.key, absent, whole) != value) {
            fuzz_fail("[%s] %s: the snapshot reads another value than ini_read", s, k);
        }
        bool present = snapshot.value(name.section, name.key).has_value();
        if (ini_has_key(path, name.section, name.key) != present) {
            fuzz_fail("[%s] %s: ini_has_key and the snapshot disagree", s, k);
        }
        if (present != (value != absent)) {
            fuzz_fail("[%s] %s: a present key reads as the default, or a missing one as a value", s, k);
        }
        std::string cut = ini_read(path, name.section, name.key, absent, buffer);
        if (cut != value.substr(0, buffer > 0 ? buffer - 1 : 0)) {
            fuzz_fail("[%s] %s: with a buffer of %zu the value is not the whole value cut", s, k, buffer);
        }
    }
}

void check_others_unchanged(const std::vector<Name>& names, const std::vector<std::string>& before, const Name& written,
                            const char* what) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!same_entry(names[i], written) && read_key(names[i]) != before[i]) {
            fuzz_fail("%s [%s] %s changed [%s] %s", what, written.section.c_str(), written.key.c_str(),
                      names[i].section.c_str(), names[i].key.c_str());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    enter_scratch_dir("ini", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!replace_file_atomically(path, bytes)) {
        fuzz_fail("cannot write the input file");
    }
    std::vector<Name> names = names_in(bytes);
    std::size_t buffer = size > 1 ? data[1] % 6 : 0;
    check_reads_agree(names, buffer);
    std::vector<std::string> before = read_all(names);

    // Replace (or add) one key: the input picks which, and its last bytes give the value.
    const Name& target = names[size > 0 ? data[0] % names.size() : 0];
    std::string value = writable_value(bytes.substr(size - std::min<std::size_t>(size, 40)));
    if (!ini_write(path, target.section, target.key, value)) {
        fuzz_fail("cannot write [%s] %s", target.section.c_str(), target.key.c_str());
    }
    if (read_key(target) != value) {
        fuzz_fail("[%s] %s does not read back as written", target.section.c_str(), target.key.c_str());
    }
    check_others_unchanged(names, before, target, "writing");
    check_reads_agree(names, buffer);

    // Add a key no name of the file has, then delete it: everything reads as before the add.
    before = read_all(names);
    Name added{target.section, "fuzz added key"};
    if (ini_has_key(path, added.section, added.key)) {
        return 0;
    }
    if (!ini_write(path, added.section, added.key, value) || read_key(added) != value) {
        fuzz_fail("[%s] %s: a new key does not read back", added.section.c_str(), added.key.c_str());
    }
    check_others_unchanged(names, before, added, "adding");
    if (!ini_write(path, added.section, added.key, std::nullopt) || ini_has_key(path, added.section, added.key)) {
        fuzz_fail("[%s] %s: the added key is still there after its delete", added.section.c_str(), added.key.c_str());
    }
    if (read_all(names) != before) {
        fuzz_fail("deleting [%s] %s did not give back the reads before it", added.section.c_str(), added.key.c_str());
    }
    return 0;
}
