#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

// The open connections of each client address, each at most `per_address`. A connection holds a Slot
// while it is open; the slot gives its place back when it goes.
class ConnectionCount {
public:
    class Slot {
    public:
        Slot(ConnectionCount* owner, std::string address) : owner_(owner), address_(std::move(address)) {}
        Slot(Slot&& other) noexcept : owner_(other.owner_), address_(std::move(other.address_)) {
            other.owner_ = nullptr;
        }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        Slot& operator=(Slot&&) = delete;
        ~Slot();

    private:
        ConnectionCount* owner_;
        std::string address_;
    };

    explicit ConnectionCount(int per_address) : per_address_(per_address) {}

    // A place for one more connection of `address`, or nullopt when it holds per_address already.
    std::optional<Slot> take(const std::string& address);

private:
    void give_back(const std::string& address);

    int per_address_;
    std::mutex mutex_;
    std::map<std::string, int> open_; // only addresses with a connection open
};
