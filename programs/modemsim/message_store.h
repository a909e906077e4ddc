#pragma once

#include <map>
#include <string>
#include <vector>

// Message status as AT+CMGL and AT+CMGR give it in PDU mode.
inline constexpr int stat_received_unread = 0;
inline constexpr int stat_received_read = 1;
inline constexpr int stat_stored_unsent = 2;
inline constexpr int stat_stored_sent = 3;
inline constexpr int stat_all = 4;

struct StoredMessage {
    int index = 0;
    int stat = stat_received_unread;
    std::string pdu;         // upper-case hex, service-centre field first
    std::string description; // how it was made, for the control interface (UTF-8, one line)
};

// The modem's message memory: numbered slots from 1, a new message taking the lowest free one.
class MessageStore {
public:
    explicit MessageStore(int capacity) : capacity_(capacity) {}

    // The slot the message went to, or 0 when the memory is full.
    int add(const std::string& pdu, const std::string& description);

    // Messages with status `stat` (every message for stat_all), in slot order. Listing a received
    // message marks it read, as AT+CMGL and AT+CMGR do.
    std::vector<StoredMessage> list(int stat);
    const StoredMessage* find(int index) const;
    void mark_read(int index);

    bool in_range(int index) const { return index >= 1 && index <= capacity_; }
    void erase(int index) { messages_.erase(index); }
    // What AT+CMGD's delete flag selects: 1 read, 2 read and sent, 3 read, sent and unsent, 4 all.
    void erase_by_flag(int flag);
    void clear() { messages_.clear(); }

    int used() const { return static_cast<int>(messages_.size()); }
    int capacity() const { return capacity_; }
    const std::map<int, StoredMessage>& messages() const { return messages_; }

private:
    int capacity_;
    std::map<int, StoredMessage> messages_;
};

// The TPDU length AT+CMGL announces: the PDU's octets after its service-centre field.
int tpdu_octets(const std::string& pdu);
