#pragma once

#include <optional>
#include <string>

// The SIM in the simulated modem: locked behind a PIN (three tries, then its PUK), missing, failed,
// or ready. What AT+CPIN asks and enters goes through here, and the message commands ask it whether
// they may run.
class SimCard {
public:
    enum class State { Ready, PinLocked, PukLocked, Missing, Failure };

    static constexpr int pin_tries_at_start = 3;

    // A SIM that asks for `pin` at every power-up, with every try left; an empty PIN: none asked.
    void lock_with(const std::string& pin);
    void set_state(State state) { state_ = state; }
    State state() const { return state_; }

    // AT+CPIN?: the information line ("+CPIN: READY") or the error that ends the answer; one of them.
    struct Answer {
        std::string info;
        std::string error; // "+CME ERROR: n" when the SIM cannot be asked
    };
    Answer read_state() const;
    // AT+CPIN="code": "" when taken (OK), else the error. A wrong PIN uses a try up; the last one
    // leaves the SIM behind its PUK.
    std::string enter(const std::string& code);

    // What a message command gets while the SIM is not ready ("+CMS ERROR: 311" and the like), or
    // nullopt when it may run.
    std::optional<std::string> blocks_messages() const;

    // The modem's power came back: a SIM with a PIN asks for it again.
    void power_up();

    int tries_left() const { return tries_left_; }
    int pins_entered() const { return pins_entered_; } // every AT+CPIN="..." taken or not

private:
    State state_ = State::Ready;
    std::string pin_;
    int tries_left_ = pin_tries_at_start;
    int pins_entered_ = 0;
};

// "ready", "pin", "puk", "missing", "failure"; and back.
const char* sim_state_name(SimCard::State state);
std::optional<SimCard::State> sim_state_from_name(const std::string& name);
