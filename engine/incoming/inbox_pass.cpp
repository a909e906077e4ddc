#include "engine/incoming/inbox_pass.h"

#include "engine/incoming/auto_reply.h"
#include "engine/incoming/delivery_reports.h"
#include "engine/incoming/optout_reply.h"
#include "engine/incoming/part_assembly.h"
#include "engine/incoming/received_once.h"
#include "engine/incoming/storage_pass.h"
#include "engine/incoming/undeleted_messages.h"
#include "engine/events/note_event.h"
#include "modem/awaited_answer.h"
#include "modem/link_recovery.h"
#include "modem/message_storage.h"
#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_status_report.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "platform/text_ops.h"
#include "store/spool.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t monitor_limit = 20480;

std::string filter_chunk(const std::string& chunk) {
    std::string out;
    out.reserve(chunk.size());
    for (char c : chunk) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 32 && u <= 123) || c == '\r' || c == '\n') {
            out.push_back(c);
        }
    }
    return out;
}

std::string reset_modem(EngineContext& ctx, std::string& listing) {
    const char* device = ctx.state.port.device_name.c_str();
    const std::string command = "at\r\n";
    tracef(ctx.logs, gbk(" %s:复位2.... =%s\n").c_str(), device, command.c_str());
    std::string answer = exchange_command(ctx, command, {.pause_ms = 2000, .before_ms = 500, .after_ms = 1900});
    listing += " \r\n \r\n OK";
    tracef(ctx.logs, gbk("%s:复位2-完毕！read....at=%s\n").c_str(), device, answer.c_str());
    tracef(ctx.logs, "\n%s----read cmgl no 'OK'   \n", device);
    return answer;
}

// The listing's lines: line k (from 1) is the text between the (k-1)-th and the k-th line feed. A last
// piece without a line feed after it does not count.
class ListingLines {
public:
    explicit ListingLines(const std::string& listing) : pieces_(split_at_line_feeds(listing)) { pieces_.pop_back(); }
    std::optional<std::string> line(int k) const {
        if (k < 1 || static_cast<std::size_t>(k) > pieces_.size()) {
            return std::nullopt;
        }
        return std::string(pieces_[k - 1]);
    }

private:
    std::vector<std::string_view> pieces_;
};

void show_received(EngineContext& ctx, long n, const ReceivedMessage& msg) {
    if (ctx.output.monitor_length() > monitor_limit) {
        ctx.output.replace_monitor("\r\n");
    }
    ctx.output.prepend_monitor(std::to_string(n) + "  : " + ctx.state.date_time_text + "          " + msg.sender +
                               "\r\n    " + msg.text + "\r\n\r\n");
}

// Where a listed message is: its storage ("" when the modem lists without AT+CPMS), its index, its PDU.
struct ListedMessage {
    const std::string& storage;
    std::string index;
    const std::string& pdu;
};

// The message is stored by now; if the link is down, it is deleted once the modem is back, or it
// would be listed and stored a second time. A reopened modem reads its own storage again, so the one
// listed is selected before the delete. Returns the modem's answer.
std::string delete_from_modem(EngineContext& ctx, const ListedMessage& message) {
    std::string command = "at+cmgd=" + message.index + "\r\n";
    for (;;) {
        tracef(ctx.logs, "sends.... =%s\n", command.c_str());
        std::string answer = exchange_command(ctx, command, {.before_ms = 200, .after_ms = 2800});
        tracef(ctx.logs, "read....cmgd=%s\n", answer.c_str());
        if (answer.empty() && !ctx.port.broken()) {
            ctx.port.mark_down(gbk("无应答"));
        }
        if (!ctx.port.broken()) {
            return answer;
        }
        recover_link(ctx);
        if (!message.storage.empty() && !select_storage(ctx, message.storage, message.storage) && !ctx.port.broken()) {
            return "ERROR"; // not deleted: which storage the modem reads now is not known
        }
    }
}

// Deletes a message that is stored (or logged, or held) by now. One the modem does not delete is
// remembered, so that it is not stored again while it stays listed.
void delete_stored(EngineContext& ctx, const ListedMessage& message) {
    std::string answer = delete_from_modem(ctx, message);
    if (modem_error(answer)) {
        tracef(ctx.logs, "not deleted: index=%s stays in the modem, stored once\n", message.index.c_str());
        remember_undeleted(ctx.state.storage, message.storage, message.index, message.pdu);
    } else {
        forget_undeleted(ctx.state.storage, message.storage, message.index);
    }
}

// Stores, answers (when `answer`), logs and shows one received message of `parts` parts; `keys` notes
// its received keys for the number it takes. Returns its record number, or below 0 when it could not
// be stored.
long store_message(EngineContext& ctx, const ReceivedMessage& msg, bool answer, int parts,
                   const RecordNumberNote& keys) {
    const std::string& day = ctx.state.spool_date;
    ctx.stamp_time();
    long n = store_incoming_record(day, msg.sender, msg.text, ctx.state.date_time_text, keys);
    if (n < 0) {
        if (n != record_note_refused) { // a key not written is traced where it was refused
            tracef(ctx.logs, "filename_err=%s\n", spool_path(day, SpoolDir::Recv, "R").c_str());
        }
        return n;
    }
    tracef(ctx.logs, "filename3=%s\n", counter_path(day, SpoolDir::Recv).c_str());
    if (msg.sender_is_name) {
        tracef(ctx.logs, "sender is a name, not a phone: no reply=[%s]\n", msg.sender.c_str());
    } else if (answer) {
        on_demand_check(ctx, msg.text, msg.sender);
    }
    ctx.stamp_time();
    ctx.logs.report_received(static_cast<int>(n), ctx.state.time_text, msg.sender, msg.text);
    show_received(ctx, n, msg);
    note_event(ctx, message_event("received", day, n, 0, parts, msg.sender, msg.text));
    if (answer && !msg.sender_is_name) {
        opt_out_check(ctx, msg.text, msg.sender, n, parts);
    }
    return n;
}

// Long messages whose parts are all in, or which waited too long for the rest, become received
// records; a query is answered only when its message is complete. Returns how many were stored.
int store_ready_messages(EngineContext& ctx) {
    int stored = 0;
    for (const AssembledMessage& message : ready_messages(ctx)) {
        RecordNumberNote keys;
        if (note_assembled(ctx, message.key, keys) == AssembledNote::Store &&
            store_message(ctx, message.message, message.complete, message.key.count, keys) < 0) {
            return stored; // the parts stay held and are tried again at the next pass
        }
        release_message(ctx, message);
        ++stored;
    }
    return stored;
}

// Stores, answers, logs, shows and deletes one listed message. A part of a long message is held until
// its message is complete; it leaves the modem once it is held. A message stored before whose delete
// the modem refused is only deleted again. Returns whether the message was new.
bool handle_message(EngineContext& ctx, const std::string& storage, const std::string& header,
                    const std::string& pdu_line) {
    ListedMessage listed{storage, header.size() > 7 ? header.substr(7) : std::string(), pdu_line};
    if (is_undeleted(ctx.state.storage, storage, listed.index, pdu_line)) {
        tracef(ctx.logs, "stored already: index=%s deleted again\n", listed.index.c_str());
        delete_stored(ctx, listed);
        return false;
    }
    if (received_before(ctx, listed.index, pdu_line)) {
        delete_stored(ctx, listed);
        return false;
    }
    ReceivedMessage msg = decode_received_pdu(pdu_line, ctx.logs);
    if (ctx.options.delivery_reports.load() && is_status_report(pdu_line)) {
        // A report the modem stored is logged, not kept as a received message.
        take_status_report(ctx, pdu_line);
        delete_stored(ctx, listed);
        return true;
    }
    if (ctx.options.long_messages.load() && msg.part && msg.part->count > 1) {
        if (note_held_part(ctx, pdu_line, msg) && hold_received_part(ctx, msg)) {
            delete_stored(ctx, listed);
            store_ready_messages(ctx);
        }
        return true;
    }
    // A message that cannot be stored is left in the modem: it is listed and stored again in the next
    // pass.
    if (store_message(ctx, msg, true, 1, received_note(ctx, pdu_line)) >= 0) {
        delete_stored(ctx, listed);
    }
    return true;
}

// Wavecom modems put a blank line after the echo, so their first entry is on line 3. A modem set up as
// Wavecom that lists without that line would otherwise never have its messages read.
int first_entry_line(EngineContext& ctx, const ListingLines& listing) {
    if (ctx.options.device.load() != DeviceType::Wavecom) {
        return 2;
    }
    std::optional<std::string> second = listing.line(2);
    return second && second->rfind("+CMGL:", 0) == 0 ? 2 : 3;
}

// The listing read as it comes, up to its final result code. The lines the modem sends unasked are
// taken out, so the walk sees the listing as a modem without indications sends it.
std::string read_listing_awaiting(EngineContext& ctx, std::size_t& heard) {
    const std::size_t limit = ctx.options.max_listing_bytes.load();
    drain_input(ctx);
    port_write(ctx.port, "at+cmgl=4\r\n");
    ctx.logs.trace("read_cmgl_start... \n");
    const int seconds = ctx.options.max_listing_seconds.load();
    AwaitedAnswer answer = await_answer(
        ctx, {.timeout_ms = listing_quiet_ms, .restart_on_data = true, .limit = limit, .total_ms = seconds * 1000});
    heard = answer.text.size();
    if (answer.end == AnswerEnd::TooLong) {
        if (answer.text.size() > limit) {
            tracef(ctx.logs, "listing over %zu bytes without end: modem taken as faulty\n", limit);
        } else {
            tracef(ctx.logs, "listing still coming after %d s: modem taken as faulty\n", seconds);
        }
        ctx.port.mark_down(gbk("列表应答无止境"));
        return {};
    }
    return filter_chunk(without_unsolicited_lines(answer.text));
}

// The listing read in chunks after fixed waits.
std::string read_listing_in_chunks(EngineContext& ctx, std::size_t& total) {
    const std::string command = "at+cmgl=4\r\n";
    port_write(ctx.port, command);
    ctx.logs.trace("read_cmgl_start... \n");
    std::string listing;
    std::string previous = command;
    std::string chunk;
    const std::size_t limit = ctx.options.max_listing_bytes.load();
    const long long most_ms = ctx.options.max_listing_seconds.load() * 1000LL;
    long long waited_ms = 0;
    do {
        if (waited_ms >= most_ms) {
            tracef(ctx.logs, "listing still coming after %lld s: modem taken as faulty\n", waited_ms / 1000);
            ctx.port.mark_down(gbk("列表应答无止境"));
            return {};
        }
        const int wait = ctx.options.fast_device.load() ? 2600 : 3100;
        ctx.pacer.sleep(wait);
        waited_ms += wait;
        std::string raw = port_read_chunk(ctx.port);
        total += raw.size();
        chunk = filter_chunk(raw);
        if (chunk != previous) {
            listing += chunk;
        }
        previous = chunk;
        if (total > limit) {
            // A modem that never stops listing would hold the engine here for good.
            tracef(ctx.logs, "listing over %zu bytes without end: modem taken as faulty\n", limit);
            ctx.port.mark_down(gbk("列表应答无止境"));
            return {};
        }
    } while (chunk.size() == chunk_size && !ctx.port.broken());
    return listing;
}

} // namespace

std::string read_listing(EngineContext& ctx) {
    std::size_t total = 0;
    std::string listing =
        ctx.options.responsive.load() ? read_listing_awaiting(ctx, total) : read_listing_in_chunks(ctx, total);
    if (ctx.port.broken()) {
        return {};
    }
    if (listing.find("OK") == std::string::npos) {
        bool heard_nothing = total == 0;
        std::string answer = reset_modem(ctx, listing);
        if (heard_nothing && answer.empty() && !ctx.port.broken()) {
            ctx.port.mark_down(gbk("无应答"));
        }
    }
    return listing;
}

int run_inbox_pass(EngineContext& ctx) {
    ctx.state.indications.message_announced = false;
    if (ctx.options.long_messages.load()) {
        // Messages completed before a restart, and those that waited a day for a part that never came.
        store_ready_messages(ctx);
    }
    if (ctx.options.responsive.load() && storages_chosen(ctx)) {
        return read_storages(ctx);
    }
    return std::max(0, read_storage_messages(ctx, ""));
}

int read_storage_messages(EngineContext& ctx, const std::string& storage) {
    std::string listing = read_listing(ctx);
    if (ctx.port.broken()) {
        // Nothing listed is lost: the messages stay in the modem for the next pass.
        recover_link(ctx);
        return -1;
    }
    forget_unlisted(ctx.state.storage, storage, listing);
    ListingLines lines(listing);
    int k = first_entry_line(ctx, lines);
    int handled = 0;
    for (;;) {
        ctx.pacer.checkpoint();
        std::optional<std::string> line = lines.line(k);
        if (!line) {
            return handled;
        }
        if (k == 2 && line->size() < 8) {
            k = 3;
            line = lines.line(k);
            if (!line) {
                return handled;
            }
        }
        std::size_t comma = line->find(',');
        if (comma == std::string::npos) {
            return handled;
        }
        std::string header = line->substr(0, comma);
        ++k;
        std::optional<std::string> pdu_line = lines.line(k);
        if (!pdu_line) {
            return handled;
        }
        tracef(ctx.logs, "index=%d,cmgdl=%s\n", k, pdu_line->c_str());
        ++k;
        if (handle_message(ctx, storage, header, *pdu_line)) {
            ++handled;
        }
    }
}
