#pragma once

#include "platform/text_file.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// INI files with the semantics of the Windows profile calls, one key at a time:
// - section and key names compare without letter case;
// - blanks around key names and values are not part of them; a value enclosed in matching quotes is
//   returned without them;
// - a missing file, section or key gives the caller's default; a present key gives its value, even
//   when empty; either is cut to (buffer_size - 1) bytes;
// - a write replaces the value in place and keeps every other line; it creates the file, the section
//   and the key as needed; a write without a value deletes the key;
// - writes replace the file atomically, so a crash never leaves half a file, and keep its permission bits
//   (a file made private stays private) unless told to make it private.
// Names and values are GBK bytes; `path` is a file-system path.

std::string ini_read(const std::string& path, std::string_view section, std::string_view key,
                     std::string_view default_value, std::size_t buffer_size);

// One INI file parsed once, for callers that read many keys of it (the list views read every key of a
// file). Reads give exactly what ini_read gives for the file as it was when the snapshot was taken.
class IniSnapshot {
public:
    explicit IniSnapshot(const std::string& path);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string read(std::string_view section, std::string_view key, std::string_view default_value,
                     std::size_t buffer_size) const;
    // Every key of a section with its value (names in lower case), or nullptr when there is no such
    // section: for sections whose keys are the operator's own (the routes of a pool of modems).
    const std::map<std::string, std::string>* section(std::string_view name) const;

private:
    // Section and key names in lower case; only the first section of a name and the first key of a
    // name within it count, as for the one-key reads.
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

// True when the key is present (with any value).
bool ini_has_key(const std::string& path, std::string_view section, std::string_view key);

// nullopt as value deletes the key. Returns false when the file could not be written. FileAccess::OwnerOnly
// leaves the file 0600, for a file that holds a secret.
bool ini_write(const std::string& path, std::string_view section, std::string_view key,
               const std::optional<std::string>& value, FileAccess access = FileAccess::Kept);
