#include "modem/awaited_answer.h"
#include "modem/init_commands.h"
#include "platform/gbk.h"
#include "support/engine_fixture.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* name;
    std::string text;
    std::vector<std::string> commands;
    bool refused;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class InitSetting : public ::testing::TestWithParam<ParseCase> {};

TEST_P(InitSetting, TakesPrintableAtCommandsBetweenBars) {
    InitCommands init = parse_init_commands(GetParam().text);
    EXPECT_EQ(init.commands, GetParam().commands);
    EXPECT_EQ(!init.problem.empty(), GetParam().refused) << init.problem;
}

const ParseCase settings_cases[] = {
    {"unset", "", {}, false},
    {"blank", "   ", {}, false},
    {"one", "AT+CMEE=1", {"AT+CMEE=1"}, false},
    {"several_trimmed", " AT+CMEE=1 | at+cscs=\"GSM\"|ATE1", {"AT+CMEE=1", "at+cscs=\"GSM\"", "ATE1"}, false},
    {"not_at", "AT+CMEE=1|reboot", {}, true},
    {"empty_between_bars", "AT||AT", {}, true},
    {"ctrl_z_inside", "AT+CMGS=5\x1a", {}, true},
    {"escape_inside", "AT\x1b", {}, true},
    {"too_long", "AT" + std::string(199, 'X'), {}, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, InitSetting, ::testing::ValuesIn(settings_cases), CaseName());

class InitExchange : public EngineFixture {};

TEST_F(InitExchange, EachCommandMustAnswerOkAndTheFirstThatDoesNotIsNamed) {
    put_file("server.txt", "[SET]\r\nINIT=AT+CMEE=1|AT+BOGUS|ATE1\r\n");
    port.script({{"AT+CMEE=1\r", "AT+CMEE=1\r\r\nOK\r\n", 30}, {"AT+BOGUS\r", "AT+BOGUS\r\r\nERROR\r\n", 30}});
    std::optional<std::string> failed = run_init_commands(ctx);
    ASSERT_TRUE(failed);
    EXPECT_EQ(*failed, gbk("初始化命令失败：") + "AT+BOGUS -> ERROR\r\n");
    EXPECT_EQ(port.written(), "AT+CMEE=1\rAT+BOGUS\r"); // nothing after the refused one
    EXPECT_NE(trace_text().find("INIT AT+CMEE=1: OK"), std::string::npos);
    EXPECT_EQ(clock.elapsed_ms(), 60);
}

TEST_F(InitExchange, WithoutInitNothingIsSentAndAModemThatStaysSilentTimesOut) {
    EXPECT_FALSE(run_init_commands(ctx));
    EXPECT_EQ(port.written(), "");
    put_file("server.txt", "[SET]\r\nINIT=ATE1\r\n");
    port.set_silent(true);
    std::optional<std::string> failed = run_init_commands(ctx);
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("ATE1 -> no answer"), std::string::npos);
    EXPECT_EQ(clock.elapsed_ms(), command_timeout_ms);
}

} // namespace
