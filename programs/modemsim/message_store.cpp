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

int MessageStore::add(const std::string& pdu, const std::string& description) {
    for (int index = 1; index <= capacity_; ++index) {
        if (messages_.count(index) == 0) {
            messages_[index] = StoredMessage{index, stat_received_unread, pdu, description};
            return index;
        }
    }
    return 0;
}

std::vector<StoredMessage> MessageStore::list(int stat) {
    std::vector<StoredMessage> listed;
    for (auto& [index, message] : messages_) {
        if (stat == stat_all || message.stat == stat) {
            listed.push_back(message);
            mark_read(index);
        }
    }
    return listed;
}

const StoredMessage* MessageStore::find(int index) const {
    auto it = messages_.find(index);
    return it == messages_.end() ? nullptr : &it->second;
}

void MessageStore::mark_read(int index) {
    auto it = messages_.find(index);
    if (it != messages_.end() && it->second.stat == stat_received_unread) {
        it->second.stat = stat_received_read;
    }
}

void MessageStore::erase_by_flag(int flag) {
    std::erase_if(messages_, [flag](const auto& entry) { return erased_by_flag(entry.second.stat, flag); });
}

int tpdu_octets(const std::string& pdu) {
    int total = static_cast<int>(pdu.size() / 2);
    return std::max(0, total - 1 - hex_octet(pdu, 0));
}
