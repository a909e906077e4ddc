#include "modemsim/control_storage.h"

#include <algorithm>
#include <optional>

namespace {

constexpr const char* storage_usage =
    "storage takes SM SLOTS [ME SLOTS], delete-error COUNT|always|none or relist COUNT|always|none";
constexpr int most_failing_deletes = 99999;

ControlReply refused(std::string why) {
    ControlReply reply;
    reply.ok = false;
    reply.error = std::move(why);
    return reply;
}

// A whole number within [low, high], or -1.
int number_word(const std::string& word, int low, int high) {
    if (word.empty() || word.size() > 6 || word.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    int value = std::stoi(word);
    return value >= low && value <= high ? value : -1;
}

ControlReply set_memories(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    std::vector<std::pair<std::string, int>> memories;
    for (size_t i = 1; i + 1 < words.size(); i += 2) {
        const std::string& name = words[i];
        bool named_before =
            std::any_of(memories.begin(), memories.end(), [&](const auto& m) { return m.first == name; });
        int slots = number_word(words[i + 1], 1, MessageStore::most_slots);
        if ((name != "SM" && name != "ME") || named_before || slots < 0) {
            return refused(storage_usage);
        }
        memories.emplace_back(name, slots);
    }
    if (memories.empty() || words.size() % 2 == 0 || memories.front().first != "SM") {
        return refused(std::string(storage_usage) + " (the SIM first)");
    }
    if (std::string error = modem.store().configure(memories); !error.empty()) {
        return refused(error);
    }
    // More room in the receiving memory: the network's next try of what it held lands there.
    for (const std::string& indication : modem.retry_held()) {
        line.send_unasked("\r\n" + indication + "\r\n");
    }
    return {};
}

// "COUNT", "always" (-1) or "none" (0) of a delete fault; nullopt for anything else.
std::optional<int> delete_count(const std::vector<std::string>& words) {
    if (words.size() != 3) {
        return std::nullopt;
    }
    int count = words[2] == "always" ? -1 : words[2] == "none" ? 0 : number_word(words[2], 1, most_failing_deletes);
    if (count == -1 && words[2] != "always") {
        return std::nullopt;
    }
    return count;
}

ControlReply delete_fault(const std::vector<std::string>& words, Modem& modem) {
    std::optional<int> count = delete_count(words);
    if (!count) {
        return refused("storage " + words[1] + " takes a count of 1 to " + std::to_string(most_failing_deletes) +
                       ", always or none");
    }
    if (words[1] == "relist") {
        modem.relist_deletes(*count);
    } else {
        modem.fail_deletes(*count);
    }
    return {};
}

std::string count_text(int count) {
    return count < 0 ? "always" : count == 0 ? "none" : std::to_string(count);
}

} // namespace

ControlReply storage_command(const std::vector<std::string>& words, Modem& modem, LineControl& line) {
    if (words.size() > 1 && (words[1] == "delete-error" || words[1] == "relist")) {
        return delete_fault(words, modem);
    }
    return set_memories(words, modem, line);
}

std::string storage_status_line(Modem& modem) {
    const MessageStore& store = modem.store();
    std::string memories;
    for (const std::string& name : store.names()) {
        const MessageMemory* memory = store.memory(name);
        memories += (memories.empty() ? "" : ",") + name + ":" + std::to_string(memory->used()) + "/" +
                    std::to_string(memory->capacity());
    }
    return "memories=" + memories + " cpms=" + store.reading().name() + "," + store.writing().name() + "," +
           store.receiving().name() + " held=" + std::to_string(modem.held()) +
           " delete-error=" + count_text(modem.failing_deletes()) + " relist=" + count_text(modem.relisting_deletes());
}
