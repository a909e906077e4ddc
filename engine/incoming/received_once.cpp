#include "engine/incoming/received_once.h"

#include "modem/pdu/pdu_address.h"
#include "modem/pdu/pdu_hex.h"
#include "modem/pdu/pdu_layout.h"
#include "platform/clock.h"
#include "store/received_keys.h"
#include "store/spool.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr std::size_t most_user_data_chars = 2 * 140;
constexpr std::size_t time_stamp_chars = 14;

bool upper_hex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

std::vector<std::string> key_days(const EngineContext& ctx) {
    return {spool_date_before(ctx.state.spool_date), ctx.state.spool_date};
}

std::string hex_of(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        append_hex_octet(out, c);
    }
    return out;
}

// "<sender in hex>_<reference>_<count>_": the start of the names of a message's parts.
std::string group_prefix(const PartKey& key) {
    return hex_of(key.sender) + "_" + std::to_string(key.reference) + "_" + std::to_string(key.count) + "_";
}

std::optional<int> number_of(std::string_view text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A part name read back: its message's key and its sequence.
struct PartName {
    PartKey key;
    int sequence = 0;
};

std::optional<PartName> parse_part_name(const std::string& name) {
    std::size_t last = name.rfind('_');
    std::size_t second = last == std::string::npos || last == 0 ? std::string::npos : name.rfind('_', last - 1);
    std::size_t first = second == std::string::npos || second == 0 ? std::string::npos : name.rfind('_', second - 1);
    if (first == std::string::npos || first % 2 != 0 || !upper_hex(name.substr(0, first))) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> sender = octets_from_hex(std::string_view(name).substr(0, first));
    auto reference = number_of(std::string_view(name).substr(first + 1, second - first - 1));
    auto count = number_of(std::string_view(name).substr(second + 1, last - second - 1));
    auto sequence = number_of(std::string_view(name).substr(last + 1));
    if (!reference || !count || !sequence) {
        return std::nullopt;
    }
    return PartName{{std::string(sender.begin(), sender.end()), *reference, *count}, *sequence};
}

// Whether a part noted under `name` is held still, or its message was stored whole.
bool part_still_known(const EngineContext& ctx, const std::string& name) {
    std::optional<PartName> part = parse_part_name(name);
    if (!part) {
        return false;
    }
    for (const std::string& day : key_days(ctx)) {
        HeldGroup group = held_group(day, part->key);
        bool held = std::any_of(group.parts.begin(), group.parts.end(),
                                [&](const HeldPart& held_part) { return held_part.sequence == part->sequence; });
        if (held || group.done) {
            return true;
        }
    }
    return false;
}

bool key_known(const EngineContext& ctx, const std::string& key) {
    for (const std::string& day : key_days(ctx)) {
        ReceivedKeys keys = read_received_keys(day);
        if (record_key_known(day, keys, key)) {
            return true;
        }
        for (const auto& [name, part_key] : keys.parts) {
            if (part_key == key && part_still_known(ctx, name)) {
                return true;
            }
        }
    }
    return false;
}

bool noted(EngineContext& ctx, KeyNoted result) {
    if (result == KeyNoted::Full) {
        tracef(ctx.logs, "received keys full: %s\n", received_keys_path(ctx.state.spool_date).c_str());
    } else if (result == KeyNoted::NotWritten) {
        tracef(ctx.logs, "received key not written: %s, left in the modem\n",
               received_keys_path(ctx.state.spool_date).c_str());
    }
    return result != KeyNoted::NotWritten;
}

} // namespace

std::optional<std::string> received_key(std::string_view pdu_line) {
    while (!pdu_line.empty() && (pdu_line.back() == '\r' || pdu_line.back() == '\n' || pdu_line.back() == ' ')) {
        pdu_line.remove_suffix(1);
    }
    if (!upper_hex(pdu_line)) {
        return std::nullopt;
    }
    PduReader pdu(pdu_line);
    read_service_centre(pdu);
    if ((pdu.octet() & message_type_mask) != message_type_deliver) {
        return std::nullopt;
    }
    PduAddress sender = read_address(pdu);
    pdu.skip_octets(2); // protocol identifier, coding scheme
    std::string time_stamp(pdu.chars(time_stamp_chars));
    std::string length(pdu.chars(2));
    std::string_view user_data = pdu.rest();
    if (!pdu.complete() || sender.semi_octets.empty() || user_data.size() > most_user_data_chars) {
        return std::nullopt;
    }
    std::string type_text;
    append_hex_octet(type_text, static_cast<std::uint8_t>(sender.type));
    return type_text + sender.semi_octets + "/" + time_stamp + "/" + length + std::string(user_data);
}

bool received_before(EngineContext& ctx, const std::string& index, const std::string& pdu_line) {
    std::optional<std::string> key = received_key(pdu_line);
    if (!key || !key_known(ctx, *key)) {
        return false;
    }
    tracef(ctx.logs, "received before: index=%s only deleted\n", index.c_str());
    return true;
}

RecordNumberNote received_note(EngineContext& ctx, const std::string& pdu_line) {
    std::optional<std::string> key = received_key(pdu_line);
    if (!key) {
        return {}; // no key to note: stored as always
    }
    return [&ctx, key = *key](long record) { return noted(ctx, note_record_key(ctx.state.spool_date, record, key)); };
}

bool note_held_part(EngineContext& ctx, const std::string& pdu_line, const ReceivedMessage& part) {
    std::optional<std::string> key = received_key(pdu_line);
    if (!key || !part.part) {
        return true;
    }
    PartKey group{part.sender, part.part->reference, part.part->count};
    std::string name = group_prefix(group) + std::to_string(part.part->sequence);
    return noted(ctx, note_part_key(ctx.state.spool_date, name, *key));
}

AssembledNote note_assembled(EngineContext& ctx, const PartKey& key, RecordNumberNote& note) {
    note = {};
    const std::string prefix = group_prefix(key);
    std::vector<std::pair<std::string, ReceivedKeys>> days;
    std::map<std::string, std::string> noted_parts; // the latest key noted under each part's name
    for (const std::string& day : key_days(ctx)) {
        days.emplace_back(day, read_received_keys(day));
        for (const auto& [name, part_key] : days.back().second.parts) {
            if (name.starts_with(prefix)) {
                noted_parts[name] = part_key;
            }
        }
    }
    // The keys of the parts held now: an earlier message under the same reference has keys of its own.
    std::set<std::string> part_keys;
    for (const std::string& day : key_days(ctx)) {
        for (const HeldPart& part : held_group(day, key).parts) {
            if (auto found = noted_parts.find(prefix + std::to_string(part.sequence)); found != noted_parts.end()) {
                part_keys.insert(found->second);
            }
        }
    }
    for (const std::string& part_key : part_keys) {
        for (const auto& [day, keys] : days) {
            if (record_key_known(day, keys, part_key)) {
                tracef(ctx.logs, "message from %s stored before: its parts released\n", key.sender.c_str());
                return AssembledNote::StoredBefore;
            }
        }
    }
    if (part_keys.empty() || part_keys.size() > most_keys_per_record) {
        return AssembledNote::Store; // parts held before keys were kept, or no key to note
    }
    note = [&ctx, keys = std::vector<std::string>(part_keys.begin(), part_keys.end())](long record) {
        return noted(ctx, note_record_keys(ctx.state.spool_date, record, keys));
    };
    return AssembledNote::Store;
}
