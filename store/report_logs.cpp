#include "store/report_logs.h"

#include "platform/text_file.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <tuple>

namespace {

// A busy day's report log outgrows what the other data files may hold: a line per recipient.
constexpr std::size_t report_log_limit = std::size_t{1} << 30;

// A spool date as numbers, so days compare in calendar order ("2026-12-9" before "2026-12-10").
std::optional<std::tuple<int, int, int>> date_key(const std::string& day) {
    int year = 0, month = 0, d = 0;
    char tail = 0;
    if (std::sscanf(day.c_str(), "%d-%d-%d%c", &year, &month, &d, &tail) != 3) {
        return std::nullopt;
    }
    return std::make_tuple(year, month, d);
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::string report_log_path(const std::string& kind, const std::string& day) {
    return "log/" + kind + day + ".log";
}

std::string report_line_text(int record, int index, const std::string& time_text, const std::string& phone,
                             const std::string& content) {
    return std::to_string(record) + "." + std::to_string(index) + "," + time_text + "   " + phone + "    " + content +
           "\r\n";
}

std::optional<ReportLine> parse_report_line(const std::string& line) {
    std::size_t dot = line.find('.');
    std::size_t comma = line.find(',');
    if (dot == std::string::npos || comma == std::string::npos || comma < dot) {
        return std::nullopt;
    }
    std::string record = line.substr(0, dot);
    std::string index = line.substr(dot + 1, comma - dot - 1);
    if (!all_digits(record) || !all_digits(index)) {
        return std::nullopt;
    }
    std::size_t phone_start = line.find("   ", comma + 1);
    if (phone_start == std::string::npos) {
        return std::nullopt;
    }
    ReportLine parsed;
    parsed.record = std::stol(record);
    parsed.index = std::stol(index);
    parsed.time = line.substr(comma + 1, phone_start - comma - 1);
    std::size_t phone_end = line.find("    ", phone_start + 3);
    parsed.phone =
        line.substr(phone_start + 3, phone_end == std::string::npos ? std::string::npos : phone_end - phone_start - 3);
    return parsed;
}

std::vector<ReportLine> read_report_log(const std::string& path) {
    std::vector<ReportLine> lines;
    auto bytes = read_binary_file(path, report_log_limit);
    if (!bytes) {
        return lines;
    }
    std::size_t start = 0;
    while (start < bytes->size()) {
        std::size_t end = bytes->find('\n', start);
        std::string line = bytes->substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes->size() : end + 1;
        while (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (auto parsed = parse_report_line(line)) {
            lines.push_back(*parsed);
        }
    }
    return lines;
}

long count_report_lines(const std::string& path) {
    auto bytes = read_binary_file(path, report_log_limit);
    return bytes ? static_cast<long>(std::count(bytes->begin(), bytes->end(), '\n')) : 0;
}

std::vector<std::string> report_log_days_up_to(std::initializer_list<std::string> kinds, const std::string& day) {
    std::vector<std::string> days;
    auto limit = date_key(day);
    DIR* dir = limit ? ::opendir("log") : nullptr;
    if (!dir) {
        return days;
    }
    const std::string suffix = ".log";
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        for (const std::string& kind : kinds) {
            if (name.size() <= kind.size() + suffix.size() || name.compare(0, kind.size(), kind) != 0 ||
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
                continue;
            }
            std::string log_day = name.substr(kind.size(), name.size() - kind.size() - suffix.size());
            auto key = date_key(log_day);
            if (key && *key <= *limit && std::find(days.begin(), days.end(), log_day) == days.end()) {
                days.push_back(log_day);
            }
        }
    }
    ::closedir(dir);
    std::sort(days.begin(), days.end(),
              [](const std::string& a, const std::string& b) { return *date_key(b) < *date_key(a); });
    return days;
}
