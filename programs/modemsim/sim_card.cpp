#include "modemsim/sim_card.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<SimCard::State, const char*>, 5> names{{
    {SimCard::State::Ready, "ready"},
    {SimCard::State::PinLocked, "pin"},
    {SimCard::State::PukLocked, "puk"},
    {SimCard::State::Missing, "missing"},
    {SimCard::State::Failure, "failure"},
}};

} // namespace

void SimCard::lock_with(const std::string& pin) {
    pin_ = pin;
    tries_left_ = pin_tries_at_start;
    pins_entered_ = 0;
    state_ = pin.empty() ? State::Ready : State::PinLocked;
}

SimCard::Answer SimCard::read_state() const {
    switch (state_) {
    case State::Ready:
        return {"+CPIN: READY", ""};
    case State::PinLocked:
        return {"+CPIN: SIM PIN", ""};
    case State::PukLocked:
        return {"+CPIN: SIM PUK", ""};
    case State::Missing:
        return {"", "+CME ERROR: 10"}; // SIM not inserted
    case State::Failure:
        break;
    }
    return {"", "+CME ERROR: 13"}; // SIM failure
}

std::string SimCard::enter(const std::string& code) {
    ++pins_entered_;
    switch (state_) {
    case State::Ready:
        return "";
    case State::PukLocked:
        return "+CME ERROR: 12"; // SIM PUK required: a PIN alone does not open it
    case State::Missing:
        return "+CME ERROR: 10";
    case State::Failure:
        return "+CME ERROR: 13";
    case State::PinLocked:
        break;
    }
    if (code == pin_) {
        state_ = State::Ready;
        tries_left_ = pin_tries_at_start;
        return "";
    }
    if (--tries_left_ <= 0) {
        tries_left_ = 0;
        state_ = State::PukLocked;
    }
    return "+CME ERROR: 16"; // incorrect password
}

std::optional<std::string> SimCard::blocks_messages() const {
    switch (state_) {
    case State::Ready:
        return std::nullopt;
    case State::PinLocked:
        return "+CMS ERROR: 311"; // SIM PIN required
    case State::PukLocked:
        return "+CMS ERROR: 316"; // SIM PUK required
    case State::Missing:
        return "+CMS ERROR: 310"; // SIM not inserted
    case State::Failure:
        break;
    }
    return "+CMS ERROR: 313"; // SIM failure
}

void SimCard::power_up() {
    if (state_ == State::Ready && !pin_.empty()) {
        state_ = State::PinLocked;
    }
}

const char* sim_state_name(SimCard::State state) {
    for (const auto& [each, name] : names) {
        if (each == state) {
            return name;
        }
    }
    return "ready";
}

std::optional<SimCard::State> sim_state_from_name(const std::string& name) {
    for (const auto& [each, each_name] : names) {
        if (name == each_name) {
            return each;
        }
    }
    return std::nullopt;
}
