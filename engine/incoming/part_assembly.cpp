#include "engine/incoming/part_assembly.h"

#include "platform/gbk.h"

#include <algorithm>
#include <map>

namespace {

constexpr long long marker_keep_seconds = 2 * part_wait_seconds;

std::vector<std::string> held_days(const EngineContext& ctx) {
    return {spool_date_before(ctx.state.spool_date), ctx.state.spool_date};
}

struct Group {
    PartKey key;
    std::map<int, HeldPart> parts; // by sequence
    std::optional<long long> done;
};

std::map<std::string, Group> merged_groups(const std::vector<std::string>& days) {
    std::map<std::string, Group> groups;
    for (const std::string& day : days) {
        for (HeldGroup& held : held_groups(day)) {
            std::string name =
                held.key.sender + '\0' + std::to_string(held.key.reference) + '\0' + std::to_string(held.key.count);
            Group& group = groups[name];
            group.key = held.key;
            for (HeldPart& part : held.parts) {
                group.parts[part.sequence] = std::move(part);
            }
            if (held.done) {
                group.done = std::max(group.done.value_or(0), *held.done);
            }
        }
    }
    return groups;
}

AssembledMessage assemble(const Group& group, bool complete) {
    AssembledMessage assembled;
    assembled.key = group.key;
    assembled.complete = complete;
    assembled.message.sender = group.key.sender;
    assembled.message.sender_is_name =
        !group.key.sender.empty() && group.key.sender.find_first_not_of("+0123456789") != std::string::npos;
    if (!complete) {
        assembled.message.text = gbk("【不完整：收到") + std::to_string(group.parts.size()) + "/" +
                                 std::to_string(group.key.count) + gbk("条】");
    }
    for (const auto& [sequence, part] : group.parts) {
        assembled.message.text += part.text;
    }
    return assembled;
}

} // namespace

bool hold_received_part(EngineContext& ctx, const ReceivedMessage& part) {
    PartKey key{part.sender, part.part->reference, part.part->count};
    long long now = seconds_of(ctx.clock.now());
    bool held = hold_part(ctx.state.spool_date, key, {part.part->sequence, now, part.text});
    tracef(ctx.logs, "part %d/%d of message %d from %s %s\n", part.part->sequence, part.part->count,
           part.part->reference, part.sender.c_str(), held ? "held" : "could not be held: left in the modem");
    return held;
}

std::vector<AssembledMessage> ready_messages(EngineContext& ctx) {
    std::vector<std::string> days = held_days(ctx);
    long long now = seconds_of(ctx.clock.now());
    std::vector<AssembledMessage> ready;
    for (const auto& [name, group] : merged_groups(days)) {
        if (group.done) {
            // Stored already: a part that came again is no new message.
            for (const std::string& day : days) {
                remove_group(day, group.key, now - *group.done > marker_keep_seconds);
            }
            continue;
        }
        bool complete = static_cast<int>(group.parts.size()) == group.key.count && group.parts.begin()->first == 1 &&
                        group.parts.rbegin()->first == group.key.count;
        long long first = now;
        for (const auto& [sequence, part] : group.parts) {
            first = std::min(first, part.arrived);
        }
        if (complete || (!group.parts.empty() && now - first >= part_wait_seconds)) {
            ready.push_back(assemble(group, complete));
        }
    }
    return ready;
}

void release_message(EngineContext& ctx, const AssembledMessage& message) {
    long long now = seconds_of(ctx.clock.now());
    if (!mark_group_done(ctx.state.spool_date, message.key, now)) {
        tracef(ctx.logs, "stored message from %s could not be marked stored\n", message.key.sender.c_str());
    }
    for (const std::string& day : held_days(ctx)) {
        remove_group(day, message.key, false);
    }
}
