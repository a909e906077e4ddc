#pragma once

#include <map>
#include <string>
#include <utility>
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
    std::string memory;      // the memory it is in: "SM", "ME"
};

// One message memory: numbered slots from 1, a new message taking the lowest free one.
class MessageMemory {
public:
    MessageMemory(std::string name, int capacity) : name_(std::move(name)), capacity_(capacity) {}

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
    // More or fewer slots; the messages keep theirs (the caller sees that none is beyond them).
    void set_capacity(int capacity) { capacity_ = capacity; }

    const std::string& name() const { return name_; }
    int used() const { return static_cast<int>(messages_.size()); }
    int capacity() const { return capacity_; }
    bool full() const { return used() >= capacity_; }
    // The highest slot taken, 0 when none is.
    int highest_index() const { return messages_.empty() ? 0 : messages_.rbegin()->first; }
    const std::map<int, StoredMessage>& messages() const { return messages_; }

private:
    std::string name_;
    int capacity_;
    std::map<int, StoredMessage> messages_;
};

// The modem's message memories, the SIM ("SM") and the phone's own ("ME") when it has one, and the
// three AT+CPMS selects: the one read (listed, read and deleted), the one written, the one receiving.
class MessageStore {
public:
    static constexpr int most_slots = 255; // a memory's slots at most

    // The SIM alone, with `capacity` slots, selected for everything.
    explicit MessageStore(int capacity);

    // Memories "SM" and "ME" as (name, slots), in that order of listing. The messages of a memory that
    // stays are kept; an error text when one would lose its messages (a memory dropped, or fewer slots
    // than its highest message), and nothing changes then. A selection of a memory dropped falls back
    // to the first memory.
    std::string configure(const std::vector<std::pair<std::string, int>>& memories);
    // AT+CPMS: the memories to read, to write and to receive (one to three of them); false, and
    // nothing changes, when one is not a memory of this modem.
    bool select(const std::vector<std::string>& names);

    std::vector<std::string> names() const;
    // The memory named, null when this modem has none of that name.
    const MessageMemory* memory(const std::string& name) const;
    const MessageMemory& reading() const { return memories_[read_]; }
    const MessageMemory& writing() const { return memories_[write_]; }
    const MessageMemory& receiving() const { return memories_[receive_]; }

    // A received message into the receiving memory: the slot it went to, or 0 when that memory is full.
    int add(const std::string& pdu, const std::string& description);
    // Into the memory named; 0 when it is full or no memory of this modem.
    int add_to(const std::string& memory, const std::string& pdu, const std::string& description);

    // The reading memory's messages, as MessageMemory gives them.
    std::vector<StoredMessage> list(int stat) { return memories_[read_].list(stat); }
    const StoredMessage* find(int index) const { return memories_[read_].find(index); }
    void mark_read(int index) { memories_[read_].mark_read(index); }
    bool in_range(int index) const { return memories_[read_].in_range(index); }
    void erase(int index) { memories_[read_].erase(index); }
    void erase_by_flag(int flag) { memories_[read_].erase_by_flag(flag); }

    // Every memory emptied.
    void clear();
    // All memories together.
    int used() const;
    int capacity() const;
    // Every message, memory by memory.
    std::vector<StoredMessage> messages() const;

private:
    // Selects memory `name` as the reading (0), writing (1) or receiving (2) one; false when it is none.
    bool select_one(std::size_t which, const std::string& name);

    std::vector<MessageMemory> memories_;
    std::size_t read_ = 0;
    std::size_t write_ = 0;
    std::size_t receive_ = 0;
};

// The TPDU length AT+CMGL announces: the PDU's octets after its service-centre field.
int tpdu_octets(const std::string& pdu);
