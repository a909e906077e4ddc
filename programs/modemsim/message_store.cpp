#include "modemsim/message_store.h"

#include <algorithm>

namespace {

int hex_octet(const std::string& pdu, size_t at) {
    int value = 0;
    for (size_t i = at; i < at + 2 && i < pdu.size(); ++i) {
        char c = pdu[i];
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 0;
        value = value * 16 + digit;
    }
    return value;
}

bool erased_by_flag(int stat, int flag) {
    switch (flag) {
    case 1:
        return stat == stat_received_read;
    case 2:
        return stat == stat_received_read || stat == stat_stored_sent;
    case 3:
        return stat != stat_received_unread;
    case 4:
        return true;
    default:
        return false;
    }
}

} // namespace

int MessageMemory::add(const std::string& pdu, const std::string& description) {
    for (int index = 1; index <= capacity_; ++index) {
        if (messages_.count(index) == 0) {
            messages_[index] = StoredMessage{index, stat_received_unread, pdu, description, name_};
            return index;
        }
    }
    return 0;
}

std::vector<StoredMessage> MessageMemory::list(int stat) {
    std::vector<StoredMessage> listed;
    for (auto& [index, message] : messages_) {
        if (stat == stat_all || message.stat == stat) {
            listed.push_back(message);
            mark_read(index);
        }
    }
    return listed;
}

const StoredMessage* MessageMemory::find(int index) const {
    auto it = messages_.find(index);
    return it == messages_.end() ? nullptr : &it->second;
}

void MessageMemory::mark_read(int index) {
    auto it = messages_.find(index);
    if (it != messages_.end() && it->second.stat == stat_received_unread) {
        it->second.stat = stat_received_read;
    }
}

void MessageMemory::erase_by_flag(int flag) {
    std::erase_if(messages_, [flag](const auto& entry) { return erased_by_flag(entry.second.stat, flag); });
}

MessageStore::MessageStore(int capacity) {
    memories_.emplace_back("SM", capacity);
}

std::string MessageStore::configure(const std::vector<std::pair<std::string, int>>& memories) {
    std::vector<MessageMemory> next;
    for (const auto& [name, slots] : memories) {
        auto old = std::find_if(memories_.begin(), memories_.end(), [&](const auto& m) { return m.name() == name; });
        next.push_back(old == memories_.end() ? MessageMemory(name, slots) : *old);
        next.back().set_capacity(slots);
        if (old != memories_.end() && old->highest_index() > slots) {
            return "memory " + name + " holds a message in slot " + std::to_string(old->highest_index());
        }
    }
    for (const MessageMemory& old : memories_) {
        bool kept = std::any_of(next.begin(), next.end(), [&](const auto& m) { return m.name() == old.name(); });
        if (!kept && old.used() > 0) {
            return "memory " + old.name() + " holds messages";
        }
    }
    std::vector<std::string> selected = {reading().name(), writing().name(), receiving().name()};
    memories_ = std::move(next);
    read_ = write_ = receive_ = 0;
    for (size_t i = 0; i < selected.size(); ++i) {
        select_one(i, selected[i]); // a memory dropped leaves the first one in its place
    }
    return {};
}

bool MessageStore::select_one(size_t which, const std::string& name) {
    auto at = std::find_if(memories_.begin(), memories_.end(), [&](const auto& m) { return m.name() == name; });
    if (at == memories_.end()) {
        return false;
    }
    std::size_t* slots[] = {&read_, &write_, &receive_};
    *slots[which] = static_cast<std::size_t>(at - memories_.begin());
    return true;
}

bool MessageStore::select(const std::vector<std::string>& names) {
    if (names.empty() || names.size() > 3) {
        return false;
    }
    for (const std::string& name : names) {
        if (std::none_of(memories_.begin(), memories_.end(), [&](const auto& m) { return m.name() == name; })) {
            return false;
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        select_one(i, names[i]);
    }
    return true;
}

std::vector<std::string> MessageStore::names() const {
    std::vector<std::string> names;
    for (const MessageMemory& memory : memories_) {
        names.push_back(memory.name());
    }
    return names;
}

const MessageMemory* MessageStore::memory(const std::string& name) const {
    for (const MessageMemory& memory : memories_) {
        if (memory.name() == name) {
            return &memory;
        }
    }
    return nullptr;
}

int MessageStore::add(const std::string& pdu, const std::string& description) {
    return memories_[receive_].add(pdu, description);
}

int MessageStore::add_to(const std::string& memory, const std::string& pdu, const std::string& description) {
    for (MessageMemory& candidate : memories_) {
        if (candidate.name() == memory) {
            return candidate.add(pdu, description);
        }
    }
    return 0;
}

void MessageStore::clear() {
    for (MessageMemory& memory : memories_) {
        memory.clear();
    }
}

int MessageStore::used() const {
    int used = 0;
    for (const MessageMemory& memory : memories_) {
        used += memory.used();
    }
    return used;
}

int MessageStore::capacity() const {
    int capacity = 0;
    for (const MessageMemory& memory : memories_) {
        capacity += memory.capacity();
    }
    return capacity;
}

std::vector<StoredMessage> MessageStore::messages() const {
    std::vector<StoredMessage> all;
    for (const MessageMemory& memory : memories_) {
        for (const auto& entry : memory.messages()) {
            all.push_back(entry.second);
        }
    }
    return all;
}

int tpdu_octets(const std::string& pdu) {
    int total = static_cast<int>(pdu.size() / 2);
    return std::max(0, total - 1 - hex_octet(pdu, 0));
}
