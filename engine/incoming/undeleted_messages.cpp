#include "engine/incoming/undeleted_messages.h"

#include <algorithm>

bool is_undeleted(const StorageState& state, const std::string& storage, const std::string& index,
                  const std::string& pdu) {
    return std::any_of(state.undeleted.begin(), state.undeleted.end(), [&](const StorageState::Undeleted& entry) {
        return entry.storage == storage && entry.index == index && entry.pdu == pdu;
    });
}

void remember_undeleted(StorageState& state, const std::string& storage, const std::string& index,
                        const std::string& pdu) {
    if (pdu.size() > longest_remembered_pdu || is_undeleted(state, storage, index, pdu)) {
        return;
    }
    forget_undeleted(state, storage, index); // another message took the slot
    if (state.undeleted.size() >= most_undeleted) {
        state.undeleted.erase(state.undeleted.begin());
    }
    state.undeleted.push_back({storage, index, pdu});
}

void forget_undeleted(StorageState& state, const std::string& storage, const std::string& index) {
    std::erase_if(state.undeleted, [&](const StorageState::Undeleted& entry) {
        return entry.storage == storage && entry.index == index;
    });
}

void forget_unlisted(StorageState& state, const std::string& storage, const std::string& listing) {
    std::erase_if(state.undeleted, [&](const StorageState::Undeleted& entry) {
        return entry.storage == storage && listing.find(entry.pdu) == std::string::npos;
    });
}
