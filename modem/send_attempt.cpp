#include "modem/send_attempt.h"

#include "modem/awaited_answer.h"
#include "modem/link_recovery.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"

namespace {

using Outcome = AttemptResult::Outcome;

std::string last_chars(const std::string& text, std::size_t n) {
    return text.size() > n ? text.substr(text.size() - n) : text;
}

// Writes the send command, with the trace lines that open an attempt.
void send_command(EngineContext& ctx, const SubmitPdu& pdu, const std::string& pdu_text, int attempt) {
    TraceSink& trace = ctx.logs;
    tracef(trace, "%s%d\n", gbk("----------------------开始发送---------------").c_str(), attempt);
    std::string command = "at+cmgs=" + std::to_string(pdu.command_length) + "\r";
    tracef(trace, "cmgs=%s\n", command.c_str());
    ctx.pacer.checkpoint();
    if (ctx.options.responsive.load()) {
        drain_input(ctx);
    }
    port_write(ctx.port, command);
    tracef(trace, "~~~~~~~~~~~~~cmgs=%s\n", pdu_text.c_str());
}

// The trace lines that close an attempt, and whether the link held.
AttemptResult close_attempt(EngineContext& ctx, std::string answer, bool sent) {
    TraceSink& trace = ctx.logs;
    tracef(trace, "str_end=%s\n", last_chars(answer, 4).c_str());
    tracef(trace, "read_com1(cmgs)=%s\n", answer.c_str());
    trace.trace(gbk("---------------------- 发送结束---------------\n"));
    ctx.stamp_time();
    note_modem_answer(ctx, answer);
    if (ctx.port.broken()) {
        return {Outcome::LinkDown, std::move(answer)};
    }
    return {sent ? Outcome::Sent : Outcome::Refused, std::move(answer)};
}

// The PDU after a wait that stands in for the modem's prompt, then the answer after a fixed wait.
AttemptResult attempt_with_fixed_waits(EngineContext& ctx, const SubmitPdu& pdu, const std::string& pdu_text,
                                       int attempt) {
    int speed = ctx.options.speed.load();
    send_command(ctx, pdu, pdu_text, attempt);
    ctx.pacer.sleep(100 * attempt + 50 * speed);
    port_write(ctx.port, pdu_text);
    int wait = 1000 * attempt + 600 * speed;
    ctx.pacer.sleep(wait);
    tracef(ctx.logs, "~~~~~~~~~~Sleep=%d\n", wait);
    std::string answer = port_collect(ctx.port, submission_capacity);
    ctx.pacer.checkpoint();
    bool sent = reply_says_sent(answer);
    return close_attempt(ctx, std::move(answer), sent);
}

// The PDU once the modem asks for it, then its answer as soon as it is complete.
AttemptResult attempt_awaiting_answers(EngineContext& ctx, const SubmitPdu& pdu, const std::string& pdu_text,
                                       int attempt) {
    TraceSink& trace = ctx.logs;
    if (attempt > 0) {
        ctx.pacer.sleep(responsive_retry_wait_ms(attempt));
    }
    send_command(ctx, pdu, pdu_text, attempt);
    AwaitedAnswer prompt = await_answer(ctx, {.timeout_ms = prompt_timeout_ms, .prompt = true});
    std::string answer = prompt.text;
    long long waited = prompt.waited_ms;
    bool sent = false;
    if (prompt.end == AnswerEnd::Prompt) {
        // The speed bar still slows the gateway down, for modems that want a moment after the prompt.
        int gap = 10 * ctx.options.speed.load() + 100 * attempt;
        if (gap > 0) {
            ctx.pacer.sleep(gap);
        }
        port_write(ctx.port, pdu_text);
        AwaitedAnswer result = await_answer(ctx, {.timeout_ms = network_timeout_ms});
        answer += result.text;
        waited += result.waited_ms;
        if (result.end == AnswerEnd::TimedOut) {
            tracef(trace, "no final result code within %d ms\n", network_timeout_ms);
        }
        sent = result.end == AnswerEnd::Final && final_result_code(result.text) == "OK" &&
               message_reference(result.text).has_value();
    } else if (prompt.end == AnswerEnd::TimedOut) {
        // A prompt that comes after all would take whatever is written next as the PDU: cancel it.
        tracef(trace, "no prompt within %d ms\n", prompt_timeout_ms);
        port_write(ctx.port, "\x1b");
    }
    tracef(trace, "~~~~~~~~~~Sleep=%lld\n", waited);
    return close_attempt(ctx, std::move(answer), sent);
}

} // namespace

int responsive_retry_wait_ms(int attempt) {
    return 500 * attempt;
}

int pause_after_failure_ms(const EngineOptions& options) {
    return options.responsive.load() ? 2000 : 7800;
}

AttemptResult attempt_send(EngineContext& ctx, const SubmitPdu& pdu, const std::string& pdu_text, int attempt) {
    if (ctx.options.responsive.load()) {
        return attempt_awaiting_answers(ctx, pdu, pdu_text, attempt);
    }
    return attempt_with_fixed_waits(ctx, pdu, pdu_text, attempt);
}
