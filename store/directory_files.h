#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Rules shared by the INI data files of the directory: the catalogue file, the category index and the
// category files. Each holds one section, and the lists on screen read them as plain text, line by line,
// dropping the first two lines; the marker entry is what fills the second line.

// The marker entry. Nobody reads it by key; its value only tells which writer put it there.
inline constexpr const char* marker_key = "000000";
inline constexpr const char* marker_by_editor = "222222";   // catalogue add and look-up; customer add, modify, look-up
inline constexpr const char* marker_by_list_fill = "fffff"; // the two category trees when they are filled

// Writes `000000`=value into the section. A new file thus starts with the section line and the marker.
[[nodiscard]] bool write_marker(const std::string& path, std::string_view section, std::string_view value);

// Defaults passed by reads that must tell a missing key from a present one. A stored value equal to one
// of them therefore reads as absent.
inline constexpr const char* absent_for_edit = "wwwwww";              // catalogue and customer operations
inline constexpr const char* absent_for_list = "happy today to you!"; // lists, category selection, delete
inline constexpr const char* absent_for_category_test = "qumvel!@#z"; // customer add: is the category new?
inline constexpr const char* absent_member = "123219";                // members file

// One line of a data file as a list sees it. `number` counts every line read after the two dropped
// ones, from 1, blank lines included. `key` is the text before the first '='; a line without '=' is
// taken whole, its line end included.
struct DirectoryLine {
    int number = 0;
    std::string key;
};

struct DirectoryEntry {
    int number = 0;
    std::string key;
    std::string value;
};

// The keys of the file in line order, lines of at most one character (line end counted) skipped.
// nullopt when the file cannot be opened.
std::optional<std::vector<DirectoryLine>> read_directory_keys(const std::string& path);

// As above, each with its value fetched by an INI read of its key in `section`, with the given default
// and buffer size. The value on the line itself is not used.
std::optional<std::vector<DirectoryEntry>> read_directory_entries(const std::string& path, std::string_view section,
                                                                  std::string_view default_value,
                                                                  std::size_t buffer_size);

// The name with the nine characters \ / : * ? " < > | removed, since category and customer names become
// parts of file names. GBK double-byte characters are kept whole, even when their second byte is '\'
// or '|'.
std::string clean_file_name(std::string_view name_gbk);
