#include "store/sent_references.h"

#include "platform/text_file.h"

#include <cstdio>
#include <sstream>

std::string sent_references_path(const std::string& day) {
    return day + "/send/refs";
}

bool note_sent_reference(const std::string& day, const SentReference& sent) {
    std::FILE* file = std::fopen(sent_references_path(day).c_str(), "abe");
    if (file == nullptr) {
        return false;
    }
    int written = std::fprintf(file, "%d %s %ld %d %d %d\n", sent.reference, sent.number.c_str(), sent.record,
                               sent.index, sent.part, sent.parts);
    bool flushed = std::fflush(file) == 0;
    return std::fclose(file) == 0 && flushed && written > 0;
}

std::optional<SentReference> find_sent_reference(const std::string& day, int reference,
                                                 const std::string& recipient_digits) {
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
        if (sent.reference == reference && !sent.number.empty() && recipient_digits.ends_with(sent.number)) {
            found = sent;
        }
    }
    return found;
}
