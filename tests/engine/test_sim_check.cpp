#include "modem/awaited_answer.h"
#include "modem/sim_check.h"
#include "support/engine_fixture.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct AnswerCase {
    const char* name;
    std::string answer;
    SimReading reading;
    std::string lock = "";
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class SimAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SimAnswer, SaysWhatTheSimNeeds) {
    std::string lock;
    EXPECT_EQ(read_sim_answer(GetParam().answer, &lock), GetParam().reading);
    EXPECT_EQ(lock, GetParam().lock);
}

const AnswerCase answer_cases[] = {
    {"ready", "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n", SimReading::Ready},
    {"pin", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", SimReading::PinNeeded},
    {"puk", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", SimReading::PukNeeded},
    {"other_lock", "\r\n+CPIN: PH-SIM PIN\r\n\r\nOK\r\n", SimReading::OtherLock, "PH-SIM PIN"},
    {"not_inserted_word", "\r\n+CPIN: NOT INSERTED\r\n\r\nOK\r\n", SimReading::Missing},
    {"not_ready_word", "\r\n+CPIN: NOT READY\r\n\r\nOK\r\n", SimReading::Busy},
    {"missing_number", "\r\n+CME ERROR: 10\r\n", SimReading::Missing},
    {"missing_words", "\r\n+CME ERROR: SIM not inserted\r\n", SimReading::Missing},
    {"pin_required_error", "\r\n+CME ERROR: 11\r\n", SimReading::PinNeeded},
    {"puk_required_error", "\r\n+CME ERROR: 12\r\n", SimReading::PukNeeded},
    {"failure", "\r\n+CME ERROR: 13\r\n", SimReading::Failed},
    {"failure_words", "\r\n+CME ERROR: SIM failure\r\n", SimReading::Failed},
    {"busy", "\r\n+CME ERROR: 14\r\n", SimReading::Busy},
    {"wrong", "\r\n+CME ERROR: 15\r\n", SimReading::Failed},
    {"message_service_code_is_no_sim_code", "\r\n+CMS ERROR: 10\r\n", SimReading::Unknown},
    {"plain_error", "AT+CPIN?\r\r\nERROR\r\n", SimReading::Unknown},
    {"ok_without_state", "\r\nOK\r\n", SimReading::Unknown},
    {"cut_short", "AT+CPIN?\r\r\n+CPIN: REA", SimReading::NoAnswer},
    {"nothing", "", SimReading::NoAnswer},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimAnswer, ::testing::ValuesIn(answer_cases), CaseName());

const std::string ask = "AT+CPIN?\r";
const std::string ready = "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n";
const std::string pin_asked = "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
const std::string enter = "AT+CPIN=\"4711\"\r";

class SimUnlock : public EngineFixture {
protected:
    void with_pin(const std::string& pin) { put_file("server.txt", "[SET]\r\nCOM=/dev/ttyS0\r\nPIN=" + pin + "\r\n"); }
    // The PIN never shows in the trace or the monitor, whatever came of it.
    void expect_pin_kept_secret() {
        EXPECT_EQ(trace_text().find("4711"), std::string::npos) << trace_text();
        EXPECT_EQ(output.monitor().find("4711"), std::string::npos);
    }
};

TEST_F(SimUnlock, WithoutPinAndWithFixedWaitsTheSimIsNotAsked) {
    EXPECT_FALSE(unlock_sim(ctx));
    EXPECT_EQ(port.written(), "");
}

TEST_F(SimUnlock, ALockedSimGetsThePinOnceAndIsAskedAgainASecondLater) {
    with_pin("4711");
    port.script({{ask, pin_asked, 30}, {enter, enter + "\r\nOK\r\n", 200}, {ask, ready, 30}});
    EXPECT_FALSE(unlock_sim(ctx));
    EXPECT_EQ(port.written(), ask + enter + ask);
    EXPECT_EQ(clock.elapsed_ms(), 30 + 200 + sim_retry_ms + 30);
    expect_pin_kept_secret();
}

TEST_F(SimUnlock, ARefusedPinStopsTheEngineWithoutASecondTry) {
    with_pin("4711");
    port.script({{ask, pin_asked, 30}, {enter, enter + "\r\n+CME ERROR: 16\r\n", 200}});
    std::optional<EngineHalted> halt = unlock_sim(ctx);
    ASSERT_TRUE(halt);
    EXPECT_EQ(halt->state, EngineRunState::SimLocked);
    EXPECT_NE(halt->monitor.find("PIN"), std::string::npos);
    EXPECT_EQ(port.written(), ask + enter);
    expect_pin_kept_secret();
}

TEST_F(SimUnlock, ASimThatStillAsksAfterTakingThePinIsNotGivenItTwice) {
    with_pin("4711");
    port.script({{ask, pin_asked, 30}, {enter, enter + "\r\nOK\r\n", 30}, {ask, pin_asked, 30}});
    std::optional<EngineHalted> halt = unlock_sim(ctx);
    ASSERT_TRUE(halt);
    EXPECT_EQ(halt->state, EngineRunState::SimLocked);
    EXPECT_EQ(port.written(), ask + enter + ask);
}

TEST_F(SimUnlock, APinAnswerThatNeverEndsIsWaitedForBoundedAndItsEchoNeverTraced) {
    with_pin("4711");
    port.script({{ask, pin_asked, 30}, {enter, "", 0}});
    port.push_input_at(30 + pin_answer_timeout_ms + 100, enter); // the echo, late
    std::optional<EngineHalted> halt = unlock_sim(ctx);
    ASSERT_TRUE(halt);
    EXPECT_EQ(clock.elapsed_ms(), 30 + pin_answer_timeout_ms + read_slice_ms);
    expect_pin_kept_secret();
}

struct StopCase {
    const char* name;
    std::string pin;
    bool responsive;
    std::string answer;
    EngineRunState state;
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class SimStop : public SimUnlock, public ::testing::WithParamInterface<StopCase> {};

// Each of these stops the engine with nothing entered: there is nothing a PIN could do, or no PIN.
TEST_P(SimStop, StopsWithItsStateAndEntersNothing) {
    const StopCase& c = GetParam();
    with_pin(c.pin);
    options.responsive = c.responsive;
    port.script({{ask, c.answer, 30}});
    std::optional<EngineHalted> halt = unlock_sim(ctx);
    ASSERT_TRUE(halt);
    EXPECT_EQ(halt->state, c.state);
    EXPECT_FALSE(halt->monitor.empty());
    EXPECT_EQ(port.written(), ask);
}

const StopCase stop_cases[] = {
    {"puk", "4711", false, "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", EngineRunState::SimLocked},
    {"other_lock", "4711", false, "\r\n+CPIN: PH-SIM PIN\r\n\r\nOK\r\n", EngineRunState::SimLocked},
    {"missing", "4711", false, "\r\n+CME ERROR: 10\r\n", EngineRunState::SimMissing},
    {"failed", "", true, "\r\n+CME ERROR: 13\r\n", EngineRunState::SimMissing},
    {"pin_asked_none_set", "", true, "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", EngineRunState::SimLocked},
    {"pin_set_not_digits", "47a1", false, "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", EngineRunState::SimLocked},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimStop, ::testing::ValuesIn(stop_cases), CaseName());

TEST_F(SimUnlock, ResponsiveModeAsksWithoutAPinAndABusySimIsAskedAgainEachSecond) {
    options.responsive = true;
    port.script({{ask, "\r\n+CME ERROR: 14\r\n", 30}, {ask, "\r\n+CME ERROR: 14\r\n", 30}, {ask, ready, 30}});
    EXPECT_FALSE(unlock_sim(ctx));
    EXPECT_EQ(clock.elapsed_ms(), 3 * 30 + 2 * sim_retry_ms);
}

TEST_F(SimUnlock, AModemThatDoesNotSayGoesOnAsBefore) {
    options.responsive = true;
    port.script({{ask, "AT+CPIN?\r\r\nERROR\r\n", 30}});
    EXPECT_FALSE(unlock_sim(ctx));
    port.set_silent(true);
    EXPECT_FALSE(unlock_sim(ctx));
}

} // namespace

namespace {

// An engine started again (a supervisor, an operator who did not read the message) does not enter a
// refused PIN a second time; a changed server.txt is a new PIN to try.
TEST_F(SimUnlock, ARefusedPinIsNotEnteredAgainUntilServerTxtChanges) {
    with_pin("4711");
    port.script({{ask, pin_asked, 30}, {enter, enter + "\r\n+CME ERROR: 16\r\n", 30}});
    ASSERT_TRUE(unlock_sim(ctx));
    port.script({{ask, pin_asked, 30}});
    std::optional<EngineHalted> again = unlock_sim(ctx);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->state, EngineRunState::SimLocked);
    EXPECT_EQ(port.written(), ask + enter + ask); // asked, not entered
    EXPECT_EQ(file_bytes("pin-refused.txt").find("4711"), std::string::npos);

    with_pin("4712");
    const std::string enter_new = "AT+CPIN=\"4712\"\r";
    port.script({{ask, pin_asked, 30}, {enter_new, enter_new + "\r\nOK\r\n", 30}, {ask, ready, 30}});
    EXPECT_FALSE(unlock_sim(ctx));
    EXPECT_FALSE(std::filesystem::exists("pin-refused.txt"));
}

} // namespace
