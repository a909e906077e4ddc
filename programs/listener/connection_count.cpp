#include "connection_count.h"

ConnectionCount::Slot::~Slot() {
    if (owner_) {
        owner_->give_back(address_);
    }
}

std::optional<ConnectionCount::Slot> ConnectionCount::take(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    int& open = open_[address];
    if (open >= per_address_) {
        return std::nullopt;
    }
    ++open;
    return Slot(this, address);
}

void ConnectionCount::give_back(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(address);
    if (it != open_.end() && --it->second <= 0) {
        open_.erase(it);
    }
}
