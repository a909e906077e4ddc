#include "modem/storage_answers.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t longest_name = 8; // "SM", "ME", "MT", "SR", "BM": two letters in practice

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The text's lines, split at CR and LF, trimmed, empty ones left out.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        std::string_view line = trim(text.substr(start, end - start));
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

// The text after "+CPMS:" on the first line that starts with it.
std::optional<std::string_view> cpms_line(std::string_view answer) {
    for (std::string_view line : lines_of(answer)) {
        if (line.starts_with("+CPMS:")) {
            return trim(line.substr(6));
        }
    }
    return std::nullopt;
}

// The quoted names of one list, "\"SM\",\"ME\"": nullopt when one is not a short name of letters.
std::optional<std::vector<std::string>> quoted_names(std::string_view list) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = list.find('"', at)) != std::string_view::npos) {
        std::size_t end = list.find('"', at + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view name = list.substr(at + 1, end - at - 1);
        bool letters = std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalpha(c); });
        if (name.empty() || name.size() > longest_name || !letters) {
            return std::nullopt;
        }
        if (names.size() < most_storages) {
            names.push_back(upper(name));
        }
        at = end + 1;
    }
    return names;
}

// The three lists of "(...),(...),(...)"; a modem offering one storage each may leave out the brackets.
std::vector<std::string_view> offer_lists(std::string_view body) {
    std::vector<std::string_view> lists;
    if (body.find('(') == std::string_view::npos) {
        std::size_t start = 0;
        while (start <= body.size()) {
            std::size_t comma = std::min(body.find(',', start), body.size());
            lists.push_back(body.substr(start, comma - start));
            start = comma + 1;
        }
        return lists;
    }
    std::size_t at = 0;
    while ((at = body.find('(', at)) != std::string_view::npos) {
        std::size_t end = body.find(')', at);
        if (end == std::string_view::npos) {
            break;
        }
        lists.push_back(body.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return lists;
}

std::optional<int> count_word(std::string_view word) {
    word = trim(word);
    if (word.empty() || word.size() > 5 || word.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::stoi(std::string(word));
}

bool names_full_indicator(std::string_view rest) {
    std::string name = upper(trim(rest.substr(0, rest.find(','))));
    std::erase(name, '"');
    std::size_t comma = rest.find(',');
    std::optional<int> value = comma == std::string_view::npos ? std::nullopt : count_word(rest.substr(comma + 1));
    return (name == "SMSFULL" || name == "MEMFULL") && value && *value != 0;
}

} // namespace

std::optional<OfferedStorages> parse_storage_offer(std::string_view answer) {
    std::optional<std::string_view> body = cpms_line(answer);
    if (!body) {
        return std::nullopt;
    }
    std::vector<std::string_view> lists = offer_lists(*body);
    std::vector<std::vector<std::string>> parsed;
    for (std::string_view list : lists) {
        std::optional<std::vector<std::string>> names = quoted_names(list);
        if (!names || names->empty()) {
            return std::nullopt;
        }
        parsed.push_back(std::move(*names));
    }
    if (parsed.empty() || parsed.size() > 3) {
        return std::nullopt;
    }
    // A modem that lists fewer than three takes the last list for the storages it leaves out.
    while (parsed.size() < 3) {
        parsed.push_back(parsed.back());
    }
    return OfferedStorages{parsed[0], parsed[1], parsed[2]};
}

std::optional<std::vector<StorageCounts>> parse_storage_counts(std::string_view answer) {
    std::optional<std::string_view> body = cpms_line(answer);
    if (!body || body->find('"') != std::string_view::npos) {
        return std::nullopt; // the read command's form names the storages: not an answer to a selection
    }
    std::vector<int> numbers;
    std::size_t start = 0;
    while (start <= body->size() && numbers.size() < 7) {
        std::size_t comma = std::min(body->find(',', start), body->size());
        std::optional<int> number = count_word(body->substr(start, comma - start));
        if (!number) {
            return std::nullopt;
        }
        numbers.push_back(*number);
        start = comma + 1;
    }
    if (numbers.size() < 2 || numbers.size() > 6 || numbers.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<StorageCounts> counts;
    for (std::size_t i = 0; i < numbers.size(); i += 2) {
        counts.push_back(StorageCounts{numbers[i], numbers[i + 1]});
    }
    return counts;
}

std::optional<std::string> full_storage_notice(std::string_view text) {
    std::optional<std::string> found;
    for (std::string_view line : lines_of(text)) {
        if (line.starts_with("^SMMEMFULL")) {
            std::optional<std::vector<std::string>> names = quoted_names(line);
            found = names && !names->empty() ? names->front() : std::string();
        } else if (line.starts_with("+CIEV:") && names_full_indicator(line.substr(6))) {
            found = found.value_or("");
        } else if (line == "+WMGF" || (line.starts_with("+CMS ERROR:") && count_word(line.substr(11)) == 322)) {
            found = found.value_or("");
        }
    }
    return found;
}
