#include "store/optout_list.h"

#include "platform/data_file.h"
#include "platform/file_lock.h"
#include "platform/gbk.h"
#include "platform/text_file.h"
#include "store/phone_number.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>

namespace {

// The longest line a writer makes: number, day, keyword, two blanks, CR LF; with room for hand edits.
constexpr std::size_t longest_line_bytes = 64;
constexpr std::size_t most_optout_bytes = most_optout_entries * longest_line_bytes;
static_assert(most_optout_bytes <= data_file_limit);

// The raw lines of the file (CR LF or LF), nullopt when it cannot be read; no file is no line.
std::optional<std::vector<std::string>> read_lines() {
    std::optional<std::string> bytes = read_binary_file(optout_path, most_optout_bytes);
    if (!bytes) {
        if (errno == ENOENT) {
            return std::vector<std::string>{};
        }
        return std::nullopt;
    }
    if (bytes->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::string text = from_text_mode(*bytes);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        if (lines.size() > most_optout_entries) {
            return std::nullopt;
        }
        start = end + 1;
    }
    return lines;
}

std::string_view next_word(std::string_view& rest) {
    std::size_t begin = rest.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(begin);
    std::size_t end = std::min(rest.find_first_of(" \t\r"), rest.size());
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

std::string_view trimmed(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    std::size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

enum class LineKind { Entry, Blank, Unreadable };

// One line as an entry. A line of a number alone (written by hand) is an entry too: whoever wrote it
// meant the number to get nothing.
LineKind parse_line(const std::string& line, const std::string& country, OptOutEntry& entry) {
    std::string_view rest = line;
    std::string_view number = next_word(rest);
    if (number.empty()) {
        return LineKind::Blank;
    }
    std::optional<std::string> canonical = canonical_number(number, country);
    if (!canonical) {
        return LineKind::Unreadable;
    }
    entry.number = *canonical;
    entry.day = std::string(next_word(rest));
    entry.keyword = std::string(trimmed(rest));
    if (entry.keyword.empty()) {
        entry.keyword = manual_optout_keyword;
    }
    return LineKind::Entry;
}

OptOutList parse_list(const std::vector<std::string>& lines, const std::string& country) {
    OptOutList list;
    for (const std::string& line : lines) {
        OptOutEntry entry;
        LineKind kind = parse_line(line, country, entry);
        if (kind == LineKind::Unreadable) {
            ++list.skipped;
        } else if (kind == LineKind::Entry) {
            if (list.numbers.insert(entry.number).second) {
                list.entries.push_back(std::move(entry));
            }
        }
    }
    return list;
}

// Line breaks, control characters and blanks would break the line's fields.
std::string field_text(std::string_view text, bool blanks_allowed) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || (!blanks_allowed && c == ' ')) {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

std::string entry_line(const std::string& canonical, const std::string& day, const std::string& keyword) {
    std::string clean_day = field_text(day, false).substr(0, 16);
    std::string clean_keyword{gbk_prefix(trimmed(field_text(keyword, true)), most_optout_keyword_bytes)};
    if (clean_day.empty()) {
        clean_day = "-";
    }
    if (clean_keyword.empty()) {
        clean_keyword = manual_optout_keyword;
    }
    return canonical + " " + clean_day + " " + clean_keyword;
}

bool write_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return replace_file_atomically(optout_path, to_text_mode(text));
}

// Runs `change` on the file's lines under the lock. `change` answers Done when the lines are to be
// written back.
template <typename Change> OptOutChange change_list(int lock_timeout_ms, Change change) {
    FileLock lock(optout_lock_path, std::chrono::milliseconds(std::max(lock_timeout_ms, 0)));
    if (!lock.locked()) {
        errno = lock.error();
        return OptOutChange::Failed;
    }
    std::optional<std::vector<std::string>> lines = read_lines();
    if (!lines) {
        errno = EIO;
        return OptOutChange::Failed;
    }
    OptOutChange outcome = change(*lines);
    if (outcome == OptOutChange::Done && !write_lines(*lines)) {
        return OptOutChange::Failed;
    }
    return outcome;
}

} // namespace

bool OptOutList::holds(const std::string& number, const std::string& country) const {
    std::optional<std::string> canonical = canonical_number(number, country);
    if (!canonical) {
        return false;
    }
    if (!numbers.empty()) {
        return numbers.count(*canonical) > 0;
    }
    return std::any_of(entries.begin(), entries.end(),
                       [&](const OptOutEntry& entry) { return entry.number == *canonical; });
}

std::optional<OptOutList> read_optout_list() {
    std::optional<std::vector<std::string>> lines = read_lines();
    if (!lines) {
        return std::nullopt;
    }
    return parse_list(*lines, home_country());
}

OptOutChange add_optout(const std::string& number, const std::string& day, const std::string& keyword,
                        int lock_timeout_ms) {
    const std::string country = home_country();
    std::optional<std::string> canonical = canonical_number(number, country);
    if (!canonical) {
        return OptOutChange::NotANumber;
    }
    return change_list(lock_timeout_ms, [&](std::vector<std::string>& lines) {
        OptOutList list = parse_list(lines, country);
        if (list.holds(*canonical, country)) {
            return OptOutChange::AlreadyThere;
        }
        if (lines.size() >= most_optout_entries) {
            errno = EFBIG;
            return OptOutChange::Failed;
        }
        lines.push_back(entry_line(*canonical, day, keyword));
        return OptOutChange::Done;
    });
}

OptOutChange remove_optout(const std::string& number, int lock_timeout_ms) {
    const std::string country = home_country();
    std::optional<std::string> canonical = canonical_number(number, country);
    if (!canonical) {
        return OptOutChange::NotANumber;
    }
    return change_list(lock_timeout_ms, [&](std::vector<std::string>& lines) {
        std::size_t before = lines.size();
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [&](const std::string& line) {
                                       OptOutEntry entry;
                                       return parse_line(line, country, entry) == LineKind::Entry &&
                                              entry.number == *canonical;
                                   }),
                    lines.end());
        return lines.size() == before ? OptOutChange::NotThere : OptOutChange::Done;
    });
}
