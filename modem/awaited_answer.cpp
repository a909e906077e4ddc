#include "modem/awaited_answer.h"

#include "modem/message_storage.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"

#include <algorithm>
#include <array>

namespace {

bool answer_ended(const std::string& text, const AnswerWait& wait, AnswerEnd& end) {
    if (final_result_code(text)) {
        end = AnswerEnd::Final;
        return true;
    }
    if (wait.prompt && holds_prompt(text)) {
        end = AnswerEnd::Prompt;
        return true;
    }
    return false;
}

} // namespace

void note_announcements(EngineContext& ctx, const std::string& text) {
    if (announces_message(text)) {
        ctx.state.indications.message_announced = true;
    }
    for (std::string& pdu : status_report_pdus(text)) {
        ctx.state.indications.pending_reports.push_back(std::move(pdu));
    }
    note_storage_notices(ctx, text);
}

AwaitedAnswer await_answer(EngineContext& ctx, const AnswerWait& wait) {
    AwaitedAnswer answer;
    const long long start = ctx.clock.steady_ms();
    long long deadline = start + wait.timeout_ms;
    std::array<char, chunk_size> chunk{};
    for (;;) {
        ctx.pacer.checkpoint();
        long long now = ctx.clock.steady_ms();
        if (ctx.port.broken()) {
            answer.end = AnswerEnd::LinkDown;
            break;
        }
        if (now >= deadline) {
            answer.end = AnswerEnd::TimedOut;
            break;
        }
        if (wait.total_ms > 0 && now >= start + wait.total_ms) {
            answer.end = AnswerEnd::TooLong; // data that keeps trickling in must not hold the engine
            break;
        }
        long long until = wait.total_ms > 0 ? std::min(deadline, start + wait.total_ms) : deadline;
        int slice = static_cast<int>(std::min<long long>(until - now, read_slice_ms));
        std::size_t got = ctx.port.read_some(chunk.data(), chunk.size(), slice);
        if (got == 0) {
            continue;
        }
        answer.text.append(chunk.data(), got);
        if (wait.restart_on_data) {
            deadline = ctx.clock.steady_ms() + wait.timeout_ms;
        }
        if (wait.limit > 0 && answer.text.size() > wait.limit) {
            answer.end = AnswerEnd::TooLong;
            break;
        }
        if (answer_ended(answer.text, wait, answer.end)) {
            break;
        }
    }
    answer.waited_ms = ctx.clock.steady_ms() - start;
    note_announcements(ctx, answer.text);
    return answer;
}

void drain_input(EngineContext& ctx) {
    std::string unasked;
    std::array<char, chunk_size> chunk{};
    while (std::size_t got = ctx.port.read_some(chunk.data(), chunk.size(), 0)) {
        unasked.append(chunk.data(), got);
        if (unasked.size() > submission_capacity) {
            break; // a line that never falls silent is the next exchange's problem
        }
    }
    if (!unasked.empty()) {
        tracef(ctx.logs, "unasked=%s\n", unasked.c_str());
        note_announcements(ctx, unasked);
    }
}

AwaitedAnswer command_exchange(EngineContext& ctx, const std::string& command, int timeout_ms) {
    drain_input(ctx);
    port_write(ctx.port, command);
    return await_answer(ctx, {.timeout_ms = timeout_ms});
}

std::string exchange_command(EngineContext& ctx, const std::string& command, const FixedWaits& waits) {
    if (ctx.options.responsive.load()) {
        return command_exchange(ctx, command, command_timeout_ms).text;
    }
    auto pause = [&](int ms) {
        if (ms > 0) {
            ctx.pacer.sleep(ms);
        }
    };
    pause(waits.pause_ms);
    pause(waits.before_ms);
    port_write(ctx.port, command);
    pause(waits.after_ms);
    std::string answer = port_read_chunk(ctx.port);
    pause(waits.settle_ms);
    return answer;
}
