#include "modem/result_codes.h"

#include <array>
#include <cstdlib>

namespace {

std::string_view trim(std::string_view line) {
    constexpr std::string_view blanks = " \t";
    std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

bool is_final_line(std::string_view line) {
    return line == "OK" || line == "ERROR" || line.starts_with("+CMS ERROR") || line.starts_with("+CME ERROR");
}

// Calls `visit(line, closed)` for every line of the text, split at CR and LF and trimmed of blanks;
// `closed` is false for a last line that no line end closes yet. Stops when `visit` returns true.
template <typename Visit> bool find_line(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        bool closed = end != std::string_view::npos;
        if (!closed) {
            end = text.size();
        }
        if (visit(trim(text.substr(start, end - start)), closed)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::optional<int> number_after(std::string_view line, std::string_view prefix) {
    if (!line.starts_with(prefix)) {
        return std::nullopt;
    }
    std::string_view rest = trim(line.substr(prefix.size()));
    if (rest.empty() || rest.size() > 5 || rest.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::atoi(std::string(rest).c_str());
}

} // namespace

std::optional<std::string> final_result_code(std::string_view answer) {
    std::optional<std::string> found;
    find_line(answer, [&](std::string_view line, bool closed) {
        if (closed && is_final_line(line)) {
            found = std::string(line);
            return true;
        }
        return false;
    });
    return found;
}

bool holds_prompt(std::string_view answer) {
    return find_line(answer, [](std::string_view line, bool) { return line.starts_with(">"); });
}

std::optional<int> message_reference(std::string_view answer) {
    std::optional<int> found;
    find_line(answer, [&](std::string_view line, bool closed) {
        std::optional<int> mr = closed ? number_after(line, "+CMGS:") : std::nullopt;
        if (mr && *mr <= 255) {
            found = mr;
            return true;
        }
        return false;
    });
    return found;
}

std::optional<ModemError> modem_error(std::string_view answer) {
    std::optional<ModemError> found;
    find_line(answer, [&](std::string_view line, bool closed) {
        if (!closed || (line != "ERROR" && !line.starts_with("+CMS ERROR") && !line.starts_with("+CME ERROR"))) {
            return false;
        }
        bool cms = line.starts_with("+CMS");
        std::optional<int> number =
            line == "ERROR" ? std::nullopt : number_after(line, cms ? "+CMS ERROR:" : "+CME ERROR:");
        found = ModemError{std::string(line), number, cms};
        return true;
    });
    return found;
}

bool is_unsolicited_line(std::string_view line) {
    static constexpr std::array<std::string_view, 11> prefixes = {
        "+CMTI:", "+CDSI:", "+CDS:", "+CMT:", "+CBM:", "+CREG:", "RING", "+CUSD:", "+CIEV:", "^SMMEMFULL", "+WMGF"};
    line = trim(line);
    for (std::string_view prefix : prefixes) {
        if (line.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

bool announces_message(std::string_view text) {
    return find_line(text, [](std::string_view line, bool) { return line.starts_with("+CMTI:"); });
}

// Indications whose PDU comes on the line after them.
bool carries_pdu(std::string_view line) {
    return line.starts_with("+CDS:") || line.starts_with("+CMT:");
}

bool awaits_pdu_line(std::string_view text) {
    bool awaiting = false;
    find_line(text, [&](std::string_view line, bool closed) {
        if (!line.empty()) {
            awaiting = closed && carries_pdu(line);
        }
        return false;
    });
    return awaiting;
}

std::vector<std::string> status_report_pdus(std::string_view text) {
    std::vector<std::string> pdus;
    bool next_is_report = false;
    find_line(text, [&](std::string_view line, bool closed) {
        if (line.empty()) {
            return false;
        }
        if (next_is_report && closed) {
            pdus.emplace_back(line);
        }
        next_is_report = line.starts_with("+CDS:");
        return false;
    });
    return pdus;
}

std::string without_unsolicited_lines(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t last_blank = std::string::npos; // where a blank line just kept starts
    bool skip_pdu = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(start, next - start);
        std::string_view body = trim(line.substr(0, line.find_first_of("\r\n")));
        if (skip_pdu && !body.empty()) {
            skip_pdu = false; // the PDU of the indication before
        } else if (is_unsolicited_line(body)) {
            skip_pdu = carries_pdu(body);
            // The blank line that framed it goes with it, so the lines around stay as the modem
            // would have sent them without it.
            if (last_blank != std::string::npos) {
                kept.erase(last_blank);
            }
        } else {
            last_blank = body.empty() && line.find('\n') != std::string_view::npos ? kept.size() : std::string::npos;
            kept += line;
        }
        start = next;
    }
    return kept;
}
