#include "engine/incoming/storage_pass.h"

#include "engine/incoming/inbox_pass.h"
#include "modem/link_recovery.h"
#include "modem/message_storage.h"

#include <algorithm>

namespace {

// The storage the full notice means, when it is one the engine reads; "" otherwise.
std::string full_storage(const StorageState& state) {
    if (!state.full_noticed) {
        return {};
    }
    const std::string& full = state.full.empty() ? state.receive : state.full;
    return std::find(state.read.begin(), state.read.end(), full) != state.read.end() ? full : std::string();
}

void forget_full(StorageState& state) {
    state.full_noticed = false;
    state.full.clear();
}

// The storages in the order they are read: a full one first.
std::vector<std::string> pass_order(const StorageState& state) {
    std::vector<std::string> order = state.read;
    std::string full = full_storage(state);
    auto at = std::find(order.begin(), order.end(), full);
    if (!full.empty() && at != order.end()) {
        std::rotate(order.begin(), at, at + 1);
    }
    return order;
}

// The storage read with `storage` in one selection: the other one of two.
std::string partner(const std::vector<std::string>& order, const std::string& storage) {
    return order.front() == storage ? order.back() : order.front();
}

} // namespace

int read_storages(EngineContext& ctx) {
    StorageState& state = ctx.state.storage;
    std::vector<std::string> order = pass_order(state);
    std::optional<std::vector<StorageCounts>> counts =
        select_storage(ctx, order.front(), partner(order, order.front()));
    if (ctx.port.broken()) {
        recover_link(ctx);
        return 0;
    }
    if (!counts) {
        // The modem no longer takes what it took: it is asked again at the next cycle.
        state.chosen_on = 0;
        return std::max(0, read_storage_messages(ctx, ""));
    }
    std::vector<std::string> holding;
    for (std::size_t i = 0; i < order.size() && i < 2 && i < counts->size(); ++i) {
        if ((*counts)[i].used > 0) {
            holding.push_back(order[i]);
        }
    }
    // The counts may have shown the second storage full: it goes first.
    std::string full = full_storage(state);
    if (holding.size() == 2 && holding.back() == full) {
        std::swap(holding.front(), holding.back());
    }
    if (std::find(holding.begin(), holding.end(), full) == holding.end()) {
        forget_full(state); // emptied already, or the notice named a storage not read
    }
    int handled = 0;
    std::string selected = order.front();
    for (const std::string& storage : holding) {
        if (storage != selected) {
            selected = storage;
            if (!select_storage(ctx, storage, partner(order, storage))) {
                if (ctx.port.broken()) {
                    recover_link(ctx);
                    return handled;
                }
                continue;
            }
        }
        int read = read_storage_messages(ctx, storage);
        if (read < 0) {
            return handled;
        }
        handled += read;
        if (storage == full) {
            forget_full(state);
        }
    }
    return handled;
}

void prepare_inbox(EngineContext& ctx) {
    if (!ctx.options.responsive.load()) {
        sync_storages(ctx); // hands the modem back to a plain listing when the mode was switched off
        return;
    }
    sync_storages(ctx);
    StorageState& state = ctx.state.storage;
    if (!state.full_noticed) {
        return;
    }
    ctx.logs.trace("a storage is full: read before anything else\n");
    if (!storages_chosen(ctx)) {
        forget_full(state);
        read_storage_messages(ctx, "");
        return;
    }
    std::string full = full_storage(state);
    if (full.empty()) {
        forget_full(state);
        return;
    }
    std::optional<std::vector<StorageCounts>> counts = select_storage(ctx, full, full);
    if (ctx.port.broken()) {
        recover_link(ctx);
        return;
    }
    forget_full(state);
    if (counts && !counts->empty() && counts->front().used > 0) {
        read_storage_messages(ctx, full);
    }
}
