#include "store/journal_cursor.h"

#include "platform/text_file.h"

#include <cstdlib>

bool valid_cursor_name(const std::string& name) {
    return !name.empty() && name.size() <= 40 &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") ==
               std::string::npos;
}

std::string journal_cursor_path(const std::string& dir, const std::string& name) {
    return dir + "/cursor-" + name + ".txt";
}

std::optional<JournalCursor> read_journal_cursor(const std::string& dir, const std::string& name) {
    if (!valid_cursor_name(name)) {
        return std::nullopt;
    }
    std::optional<std::string> bytes = read_binary_file(journal_cursor_path(dir, name), 8192);
    if (!bytes || bytes->empty() || bytes->back() != '\n') {
        return std::nullopt;
    }
    std::string line = bytes->substr(0, bytes->size() - 1);
    std::size_t tab = line.find('\t');
    std::string seq = line.substr(0, tab);
    if (tab == std::string::npos || seq.empty() || seq.size() > 15 ||
        seq.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return JournalCursor{std::strtoll(seq.c_str(), nullptr, 10), line.substr(tab + 1)};
}

bool write_journal_cursor(const std::string& dir, const std::string& name, const JournalCursor& cursor) {
    if (!valid_cursor_name(name) || cursor.label.find_first_of("\r\n") != std::string::npos) {
        return false;
    }
    return replace_file_atomically(journal_cursor_path(dir, name),
                                   std::to_string(cursor.seq) + '\t' + cursor.label + '\n');
}
