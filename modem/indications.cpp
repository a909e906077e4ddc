#include "modem/indications.h"

#include "modem/awaited_answer.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "store/spool.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

namespace {

// Indications buffered while the modem is busy (mode 2) are the better choice; mode 1 is what every
// modem that has indications at all takes.
constexpr const char* indication_commands[] = {"AT+CNMI=2,1,0,0,0\r\n", "AT+CNMI=1,1,0,0,0\r\n"};
// With delivery reports the modem passes each report on at once ("+CDS:"), or stores it and says so.
constexpr const char* report_indication_commands[] = {"AT+CNMI=2,1,0,1,0\r\n", "AT+CNMI=2,1,0,2,0\r\n",
                                                      "AT+CNMI=2,1,0,0,0\r\n", "AT+CNMI=1,1,0,0,0\r\n"};

constexpr int queue_check_ms = 200; // how often an idle engine looks for newly queued records

bool accepted(const AwaitedAnswer& answer) {
    return answer.end == AnswerEnd::Final && final_result_code(answer.text) == "OK";
}

void ask_for_indications(EngineContext& ctx) {
    ctx.state.indications.asked = true;
    bool reports = ctx.options.delivery_reports.load();
    ctx.state.indications.with_reports = reports;
    std::vector<const char*> commands(std::begin(indication_commands), std::end(indication_commands));
    if (reports) {
        commands.assign(std::begin(report_indication_commands), std::end(report_indication_commands));
    }
    for (const char* command : commands) {
        AwaitedAnswer answer = command_exchange(ctx, command, command_timeout_ms);
        tracef(ctx.logs, "cnmi=%s\n", answer.text.c_str());
        if (accepted(answer)) {
            ctx.state.indications.on = true;
            return;
        }
        if (ctx.port.broken()) {
            return; // the next exchange finds the link down and recovers it
        }
    }
    tracef(ctx.logs, "modem announces no new messages: listing every %d ms when idle\n", poll_interval_ms);
}

void stop_indications(EngineContext& ctx) {
    if (ctx.state.indications.on) {
        AwaitedAnswer answer = command_exchange(ctx, "AT+CNMI=0,0,0,0,0\r\n", command_timeout_ms);
        tracef(ctx.logs, "cnmi=%s\n", answer.text.c_str());
    }
    ctx.state.indications.asked = false;
    ctx.state.indications.on = false;
}

} // namespace

void sync_indications(EngineContext& ctx) {
    bool responsive = ctx.options.responsive.load();
    bool reports_changed = ctx.state.indications.with_reports != ctx.options.delivery_reports.load();
    if (responsive && (!ctx.state.indications.asked || reports_changed)) {
        ask_for_indications(ctx);
    } else if (!responsive && ctx.state.indications.asked) {
        stop_indications(ctx);
    }
}

void wait_for_work(EngineContext& ctx) {
    const std::string day = ctx.state.spool_date;
    const long queued = read_counter(day, SpoolDir::New);
    const long long deadline = ctx.clock.steady_ms() + poll_interval_ms;
    std::string unasked;
    std::array<char, chunk_size> chunk{};
    for (;;) {
        ctx.pacer.checkpoint();
        long long now = ctx.clock.steady_ms();
        if (now >= deadline || ctx.port.broken()) {
            break;
        }
        int slice = static_cast<int>(std::min<long long>(deadline - now, queue_check_ms));
        std::size_t got = ctx.port.read_some(chunk.data(), chunk.size(), slice);
        unasked.append(chunk.data(), got);
        // Whatever the modem sends unasked is read to its line end, then the inbox is looked at.
        if (!unasked.empty() && (got == 0 || unasked.back() == '\n') && !awaits_pdu_line(unasked)) {
            break;
        }
        if (got == 0 && (read_counter(day, SpoolDir::New) != queued || spool_date(ctx.clock.now()) != day)) {
            break;
        }
    }
    if (!unasked.empty()) {
        tracef(ctx.logs, "unasked=%s\n", unasked.c_str());
        note_announcements(ctx, unasked);
    }
}
