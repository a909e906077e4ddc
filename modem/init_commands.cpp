#include "modem/init_commands.h"

#include "modem/awaited_answer.h"
#include "modem/result_codes.h"
#include "platform/gbk.h"
#include "store/settings.h"

namespace {

constexpr std::size_t most_command_chars = 200;

bool takes_command(const std::string& command) {
    if (command.size() < 2 || command.size() > most_command_chars ||
        (command.compare(0, 2, "AT") != 0 && command.compare(0, 2, "at") != 0)) {
        return false;
    }
    for (unsigned char c : command) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

InitCommands parse_init_commands(const std::string& text) {
    InitCommands init;
    if (trimmed(text).empty()) {
        return init;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t bar = text.find('|', start);
        std::string command = trimmed(text.substr(start, bar == std::string::npos ? bar : bar - start));
        if (!takes_command(command)) {
            init.commands.clear();
            init.problem = "INIT: \"" + command + "\" is no AT command (printable, starting with AT, at most " +
                           std::to_string(most_command_chars) + " characters)";
            return init;
        }
        init.commands.push_back(command);
        if (bar == std::string::npos) {
            return init;
        }
        start = bar + 1;
    }
}

std::optional<std::string> run_init_commands(EngineContext& ctx) {
    InitCommands init = parse_init_commands(read_setting(settings::init));
    if (!init.problem.empty()) {
        tracef(ctx.logs, "%s\n", init.problem.c_str());
        return gbk("初始化命令（INIT）无效：") + init.problem + "\r\n";
    }
    for (const std::string& command : init.commands) {
        AwaitedAnswer answer = command_exchange(ctx, command + "\r", command_timeout_ms);
        std::string result = final_result_code(answer.text).value_or("no answer");
        tracef(ctx.logs, "INIT %s: %s\n", command.c_str(), result.c_str());
        if (answer.end != AnswerEnd::Final || result != "OK") {
            return gbk("初始化命令失败：") + command + " -> " + result + "\r\n";
        }
    }
    return std::nullopt;
}
