#include "modem/sim_check.h"

#include "modem/awaited_answer.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "store/pin_refusal.h"
#include "store/settings.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct ErrorMeaning {
    int number;        // the 27.007 code
    const char* words; // the same in the verbose form, lower case
    SimReading reading;
};

constexpr ErrorMeaning error_meanings[] = {
    {10, "sim not inserted", SimReading::Missing},
    {11, "sim pin required", SimReading::PinNeeded},
    {12, "sim puk required", SimReading::PukNeeded},
    {13, "sim failure", SimReading::Failed},
    {14, "sim busy", SimReading::Busy},
    {15, "sim wrong", SimReading::Failed},
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The state of a "+CPIN: <code>" line of the answer, if it has one.
std::optional<std::string> pin_code_line(const std::string& answer) {
    std::size_t at = answer.find("+CPIN:");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    at += 6;
    std::size_t end = answer.find_first_of("\r\n", at);
    return trimmed(answer.substr(at, end == std::string::npos ? std::string::npos : end - at));
}

SimReading reading_of_code(const std::string& code, std::string* lock) {
    if (code == "READY") {
        return SimReading::Ready;
    }
    if (code == "SIM PIN") {
        return SimReading::PinNeeded;
    }
    if (code == "SIM PUK") {
        return SimReading::PukNeeded;
    }
    if (code == "NOT INSERTED" || code == "SIM REMOVED") {
        return SimReading::Missing;
    }
    if (code == "NOT READY") {
        return SimReading::Busy;
    }
    if (lock) {
        *lock = code.substr(0, 32);
    }
    return SimReading::OtherLock;
}

SimReading reading_of_error(const ModemError& error) {
    std::string line = lower(error.line);
    for (const ErrorMeaning& meaning : error_meanings) {
        if ((!error.message_service && error.number == meaning.number) ||
            line.find(meaning.words) != std::string::npos) {
            return meaning.reading;
        }
    }
    return SimReading::Unknown;
}

EngineHalted locked(const char* text) {
    return {EngineRunState::SimLocked, gbk(text)};
}

EngineHalted missing(const char* text) {
    return {EngineRunState::SimMissing, gbk(text)};
}

// What arrives within `ms` is dropped unread: the rest of an answer that echoed the PIN.
void discard_input(EngineContext& ctx, int ms) {
    std::array<char, 256> chunk{};
    long long deadline = ctx.clock.steady_ms() + ms;
    while (ctx.clock.steady_ms() < deadline && !ctx.port.broken()) {
        int left = static_cast<int>(deadline - ctx.clock.steady_ms());
        if (ctx.port.read_some(chunk.data(), chunk.size(), std::min(left, read_slice_ms)) == 0 && left <= 0) {
            break;
        }
    }
}

// Enters the PIN; true when the SIM took it. The answer echoes the PIN, so only its result code is
// kept.
bool enter_pin(EngineContext& ctx, const std::string& pin) {
    drain_input(ctx);
    port_write(ctx.port, "AT+CPIN=\"" + pin + "\"\r");
    AwaitedAnswer answer = await_answer(ctx, {.timeout_ms = pin_answer_timeout_ms});
    std::string result = final_result_code(answer.text).value_or("no answer");
    if (answer.end != AnswerEnd::Final) {
        discard_input(ctx, read_slice_ms);
    }
    tracef(ctx.logs, "sim: PIN entered: %s\n", result.c_str());
    return answer.end == AnswerEnd::Final && result == "OK";
}

EngineHalted other_lock(const std::string& lock) {
    return {EngineRunState::SimLocked,
            gbk("SIM卡要求先输入 ") + lock + gbk("：请把SIM卡放进手机解除这个锁，然后重新启动。\r\n")};
}

} // namespace

SimReading read_sim_answer(const std::string& answer, std::string* lock) {
    std::optional<std::string> final = final_result_code(answer);
    if (!final) {
        return SimReading::NoAnswer;
    }
    if (*final == "OK") {
        std::optional<std::string> code = pin_code_line(answer);
        return code ? reading_of_code(*code, lock) : SimReading::Unknown;
    }
    std::optional<ModemError> error = modem_error(answer);
    return error ? reading_of_error(*error) : SimReading::Unknown;
}

bool pin_is_valid(const std::string& pin) {
    return pin.size() >= 4 && pin.size() <= 8 &&
           std::all_of(pin.begin(), pin.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::optional<EngineHalted> unlock_sim(EngineContext& ctx) {
    const std::string pin = trimmed(read_setting(settings::pin));
    if (pin.empty() && !ctx.options.responsive.load()) {
        return std::nullopt;
    }
    bool pin_entered = false;
    for (int question = 0; question < sim_questions; ++question) {
        if (question > 0) {
            ctx.pacer.sleep(sim_retry_ms);
        }
        AwaitedAnswer answer = command_exchange(ctx, "AT+CPIN?\r", command_timeout_ms);
        std::string lock;
        SimReading reading = read_sim_answer(answer.text, &lock);
        tracef(ctx.logs, "sim: %s", answer.text.c_str());
        tracef(ctx.logs, "\n");
        switch (reading) {
        case SimReading::Ready:
            if (pin_entered && !forget_pin_refusal()) {
                tracef(ctx.logs, "cannot remove %s\n", pin_refusal_path);
            }
            return std::nullopt;
        case SimReading::Unknown:
        case SimReading::NoAnswer:
            return std::nullopt;
        case SimReading::Busy:
            continue;
        case SimReading::PukNeeded:
            return locked("SIM卡已被锁住，需要PUK码：请把SIM卡放进手机，用PUK码解锁并设好新的PIN，"
                          "再把新PIN填进 server.txt，然后重新启动。\r\n");
        case SimReading::OtherLock:
            return other_lock(lock);
        case SimReading::Missing:
            return missing("没有找到SIM卡：请关掉调制解调器，插好SIM卡，然后重新启动。\r\n");
        case SimReading::Failed:
            return missing("SIM卡故障：请检查SIM卡的触点或换一张SIM卡，然后重新启动。\r\n");
        case SimReading::PinNeeded:
            break;
        }
        if (pin.empty()) {
            return locked("SIM卡需要PIN码：请在 server.txt 的 [SET] 里设置 PIN=，然后重新启动。\r\n");
        }
        if (!pin_is_valid(pin)) {
            return locked("server.txt 里的 PIN 无效（应为4到8位数字）：没有输入。请改正后重新启动。\r\n");
        }
        if (!pin_entered && pin_refused_before()) {
            tracef(ctx.logs, "sim: this PIN was refused before and server.txt has not changed since\n");
            return locked("SIM卡上次拒绝了 server.txt 里的这个 PIN，server.txt 之后没有改过：不会再试。"
                          "请改正 PIN，然后重新启动。\r\n");
        }
        if (pin_entered || !enter_pin(ctx, pin)) {
            // Never a second try: the SIM counts them, and the third wrong one locks it behind its PUK.
            if (!note_pin_refused()) {
                tracef(ctx.logs, "cannot write %s\n", pin_refusal_path);
            }
            return locked("SIM卡拒绝了 server.txt 里的 PIN：为免SIM卡被锁，不会再试。请改正 PIN，"
                          "然后重新启动。\r\n");
        }
        pin_entered = true;
    }
    tracef(ctx.logs, "sim: not ready after %d questions\n", sim_questions);
    return missing("SIM卡一直没有准备好：请检查SIM卡，然后重新启动。\r\n");
}
