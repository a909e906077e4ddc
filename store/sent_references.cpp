#include "store/sent_references.h"

#include "platform/text_file.h"
#include "store/phone_number.h"

#include <cstdio>
#include <map>
#include <sstream>

namespace {

bool append_line(const std::string& path, const std::string& line) {
    std::FILE* file = std::fopen(path.c_str(), "abe");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fputs(line.c_str(), file) >= 0;
    bool flushed = std::fflush(file) == 0;
    return std::fclose(file) == 0 && written && flushed;
}

} // namespace

std::string sent_references_path(const std::string& day) {
    return day + "/send/refs";
}

bool note_sent_reference(const std::string& day, const SentReference& sent) {
    return append_line(sent_references_path(day), std::to_string(sent.reference) + " " + sent.number + " " +
                                                      std::to_string(sent.record) + " " + std::to_string(sent.index) +
                                                      " " + std::to_string(sent.part) + " " +
                                                      std::to_string(sent.parts) + "\n");
}

std::optional<SentReference> find_sent_reference(const std::string& day, int reference, const std::string& recipient) {
    return find_sent_reference(day, reference, recipient, home_country());
}

std::optional<SentReference> find_sent_reference(const std::string& day, int reference, const std::string& recipient,
                                                 std::string_view country) {
    std::optional<std::string> text = read_binary_file(sent_references_path(day));
    if (!text) {
        return std::nullopt;
    }
    std::optional<SentReference> found;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        SentReference sent;
        if (!(fields >> sent.reference >> sent.number >> sent.record >> sent.index >> sent.part >> sent.parts)) {
            continue;
        }
        if (sent.reference == reference && same_number(recipient, sent.number, country)) {
            found = sent;
        }
    }
    return found;
}

std::string deliveries_path(const std::string& day) {
    return day + "/send/dlvr";
}

bool note_delivery(const std::string& day, const SentReference& sent, const std::string& outcome) {
    return append_line(deliveries_path(day), std::to_string(sent.record) + " " + std::to_string(sent.index) + " " +
                                                 std::to_string(sent.part) + " " + outcome + "\n");
}

std::optional<DeliveryCount> count_deliveries(const std::string& day, long record) {
    std::optional<std::string> text = read_binary_file(deliveries_path(day));
    if (!text) {
        return std::nullopt;
    }
    // The latest word on every part, then the worst part decides for its recipient.
    std::map<int, std::map<int, std::string>> outcomes; // index -> part -> outcome
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        long r = 0;
        int index = 0;
        int part = 0;
        std::string outcome;
        if (fields >> r >> index >> part >> outcome && r == record) {
            outcomes[index][part] = outcome;
        }
    }
    if (outcomes.empty()) {
        return std::nullopt;
    }
    DeliveryCount count;
    for (const auto& [index, parts] : outcomes) {
        bool failed = false;
        bool pending = false;
        for (const auto& [part, outcome] : parts) {
            failed = failed || outcome == "failed";
            pending = pending || outcome == "pending";
        }
        ++(failed ? count.failed : pending ? count.pending : count.delivered);
    }
    return count;
}
