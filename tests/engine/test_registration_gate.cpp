#include "modem/awaited_answer.h"
#include "modem/registration_gate.h"
#include "platform/gbk.h"
#include "support/engine_fixture.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

namespace {

const std::string ask = "AT+CREG?\r";

std::string creg(const std::string& fields) {
    return "AT+CREG?\r\r\n+CREG: " + fields + "\r\n\r\nOK\r\n";
}

struct RegistrationCase {
    const char* name;
    std::string answer;
    bool sends;
};

void PrintTo(const RegistrationCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistrationGate : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.responsive = true;
    }
};

class RegistrationAnswers : public RegistrationGate, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(RegistrationAnswers, HoldSendingOnlyWhileTheModemSaysItIsNotRegistered) {
    port.script({{ask, GetParam().answer, 30}});
    EXPECT_EQ(registration_allows_sending(ctx), GetParam().sends);
    EXPECT_EQ(port.written(), ask);
    EXPECT_EQ(ctx.state.registration.held, !GetParam().sends);
}

const RegistrationCase registration_cases[] = {
    {"home", creg("0,1"), true},
    {"roaming", creg("0,5"), true},
    {"home_with_location", creg("2,1,\"1A2B\",\"0C3D\""), true},
    {"not_searching", creg("0,0"), false},
    {"searching", creg("0,2"), false},
    {"denied", creg("1,3"), false},
    {"unknown", creg("0,4"), true},
    {"error", "AT+CREG?\r\r\nERROR\r\n", true},
    {"no_answer", "", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegistrationAnswers, ::testing::ValuesIn(registration_cases), CaseName());

TEST_F(RegistrationGate, FixedWaitsNeverAsk) {
    options.responsive = false;
    EXPECT_TRUE(registration_allows_sending(ctx));
    EXPECT_EQ(port.written(), "");
}

// A registration the modem just confirmed is not asked again for a few seconds; a held engine asks at
// every turn, says so once, and once more when it goes on.
TEST_F(RegistrationGate, AsksAgainOnlyAfterTheRecheckTimeAndSaysHoldAndResumeOnce) {
    port.script({{ask, creg("0,1"), 30}});
    EXPECT_TRUE(registration_allows_sending(ctx));
    clock.sleep_ms(registration_recheck_ms - 1);
    EXPECT_TRUE(registration_allows_sending(ctx));
    EXPECT_EQ(port.written(), ask);

    clock.sleep_ms(1);
    port.script({{ask, creg("0,2"), 30}, {ask, creg("0,3"), 30}, {ask, creg("0,5"), 30}});
    EXPECT_FALSE(registration_allows_sending(ctx));
    EXPECT_FALSE(registration_allows_sending(ctx));
    EXPECT_TRUE(registration_allows_sending(ctx));
    EXPECT_EQ(port.written(), ask + ask + ask + ask);
    const std::string monitor = output.monitor();
    std::size_t held = monitor.find(gbk("暂停发送"));
    ASSERT_NE(held, std::string::npos) << monitor;
    EXPECT_EQ(monitor.find(gbk("暂停发送"), held + 1), std::string::npos); // said once
    EXPECT_NE(monitor.find(gbk("继续发送")), std::string::npos);
    EXPECT_NE(trace_text().find("not registered (not registered, searching)"), std::string::npos);
}

TEST_F(RegistrationGate, ARefusalForWantOfServiceHoldsOnlyAnUnregisteredModem) {
    EXPECT_TRUE(refused_for_want_of_service("\r\n+CMS ERROR: 331\r\n"));
    EXPECT_FALSE(refused_for_want_of_service("\r\n+CME ERROR: 331\r\n"));
    EXPECT_FALSE(refused_for_want_of_service("\r\n+CMS ERROR: 500\r\n"));
    port.script({{ask, creg("0,1"), 30}});
    EXPECT_NO_THROW(hold_if_unregistered(ctx));
    port.script({{ask, creg("0,2"), 30}});
    EXPECT_THROW(hold_if_unregistered(ctx), SendingHeld);
}

} // namespace
