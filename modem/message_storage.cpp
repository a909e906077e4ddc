#include "modem/message_storage.h"

#include "modem/awaited_answer.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"

#include <algorithm>

namespace {

bool offers(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

std::string selection_command(const std::string& read, const std::string& write, const std::string& receive) {
    return "AT+CPMS=\"" + read + "\",\"" + write + "\",\"" + receive + "\"\r\n";
}

bool accepted(const AwaitedAnswer& answer) {
    return answer.end == AnswerEnd::Final && final_result_code(answer.text) == "OK";
}

void note_full_counts(EngineContext& ctx, const std::vector<std::string>& storages,
                      const std::vector<StorageCounts>& counts) {
    for (std::size_t i = 0; i < storages.size() && i < counts.size(); ++i) {
        if (counts[i].full() && !ctx.state.storage.full_noticed) {
            ctx.state.storage.full_noticed = true;
            ctx.state.storage.full = storages[i];
            tracef(ctx.logs, "storage full=%s (%d of %d)\n", storages[i].c_str(), counts[i].used, counts[i].total);
        }
    }
}

} // namespace

StorageChoice choose_storages(const OfferedStorages& offered) {
    StorageChoice choice;
    for (const char* name : {"SM", "ME"}) {
        if (offers(offered.read, name)) {
            choice.read.push_back(name);
        }
    }
    if (choice.read.empty()) {
        choice.read.push_back(offered.read.front());
    }
    for (const char* name : {"ME", "SM"}) {
        if (choice.receive.empty() && offers(offered.receive, name)) {
            choice.receive = name;
        }
    }
    if (choice.receive.empty()) {
        choice.receive = offered.receive.front();
    }
    return choice;
}

bool storages_chosen(const EngineContext& ctx) {
    return ctx.state.storage.chosen_on != 0 && ctx.state.storage.chosen_on == ctx.port.openings() &&
           !ctx.state.storage.read.empty();
}

void sync_storages(EngineContext& ctx) {
    StorageState& state = ctx.state.storage;
    if (!ctx.options.responsive.load()) {
        if (storages_chosen(ctx)) {
            // Listed with fixed waits from now on, the modem reads where new messages go.
            const std::string& receive = state.receive;
            AwaitedAnswer answer =
                command_exchange(ctx, selection_command(receive, receive, receive), command_timeout_ms);
            tracef(ctx.logs, "cpms=%s\n", answer.text.c_str());
        }
        state.chosen_on = 0;
        state.read.clear();
        return;
    }
    if (state.chosen_on == ctx.port.openings() || ctx.port.broken()) {
        return;
    }
    state.chosen_on = ctx.port.openings();
    state.read.clear();
    state.receive.clear();
    AwaitedAnswer answer = command_exchange(ctx, "AT+CPMS=?\r\n", command_timeout_ms);
    tracef(ctx.logs, "cpms=%s\n", answer.text.c_str());
    std::optional<OfferedStorages> offered = accepted(answer) ? parse_storage_offer(answer.text) : std::nullopt;
    if (!offered) {
        ctx.logs.trace("modem names no message storages: listing what it lists\n");
        return;
    }
    StorageChoice choice = choose_storages(*offered);
    // The SIM and the phone's memory may not both take new messages on every modem: the first storage
    // read receives when the one chosen is refused.
    for (const std::string& receive : {choice.receive, choice.read.front()}) {
        if (!state.receive.empty() && receive == state.receive) {
            continue; // refused already
        }
        state.receive = receive;
        state.read = choice.read;
        if (select_storage(ctx, choice.read.front(), choice.read.back())) {
            tracef(ctx.logs, "storages read=%s%s%s receive=%s\n", state.read.front().c_str(),
                   state.read.size() > 1 ? "," : "", state.read.size() > 1 ? state.read.back().c_str() : "",
                   state.receive.c_str());
            return;
        }
        state.read.clear();
        if (ctx.port.broken()) {
            return;
        }
    }
    ctx.logs.trace("modem refuses the storages it names: listing what it lists\n");
}

std::optional<std::vector<StorageCounts>> select_storage(EngineContext& ctx, const std::string& storage,
                                                         const std::string& next) {
    const std::string& receive = ctx.state.storage.receive;
    AwaitedAnswer answer = command_exchange(ctx, selection_command(storage, next, receive), command_timeout_ms);
    tracef(ctx.logs, "cpms=%s\n", answer.text.c_str());
    std::optional<std::vector<StorageCounts>> counts =
        accepted(answer) ? parse_storage_counts(answer.text) : std::nullopt;
    if (counts) {
        note_full_counts(ctx, {storage, next, receive}, *counts);
    }
    return counts;
}

void note_storage_notices(EngineContext& ctx, const std::string& text) {
    std::optional<std::string> full = full_storage_notice(text);
    if (!full) {
        return;
    }
    StorageState& state = ctx.state.storage;
    if (!state.full_noticed || state.full.empty()) {
        state.full = *full;
    }
    state.full_noticed = true;
    tracef(ctx.logs, "storage full=%s\n", full->empty() ? "(receiving)" : full->c_str());
}
