#include "modemsim/control_sim.h"

#include <algorithm>
#include <cctype>

namespace {

ControlReply refused(std::string why) {
    ControlReply reply;
    reply.ok = false;
    reply.error = std::move(why);
    return reply;
}

bool digits(const std::string& text, std::size_t low, std::size_t high) {
    return text.size() >= low && text.size() <= high &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

} // namespace

ControlReply sim_command(const std::vector<std::string>& words, Modem& modem) {
    if (words.size() == 3 && words[1] == "pin") {
        if (!digits(words[2], 4, 8)) {
            return refused("sim pin takes a PIN of 4 to 8 digits");
        }
        modem.sim().lock_with(words[2]);
        return {};
    }
    std::optional<SimCard::State> state = words.size() == 2 ? sim_state_from_name(words[1]) : std::nullopt;
    if (!state || *state == SimCard::State::PinLocked) {
        return refused("sim takes ready, pin CODE, puk, missing or failure");
    }
    if (*state == SimCard::State::Ready) {
        modem.sim().lock_with("");
    } else {
        modem.sim().set_state(*state);
    }
    return {};
}

ControlReply identity_command(const std::vector<std::string>& words, Modem& modem) {
    if (words.size() != 3 || !digits(words[1], 14, 17) || !digits(words[2], 18, 22)) {
        return refused("identity takes the IMEI (14 to 17 digits) and the ICCID (18 to 22 digits)");
    }
    modem.set_identity(words[1], words[2]);
    return {};
}

std::string sim_status_line(Modem& modem) {
    SimCard& sim = modem.sim();
    return std::string("sim=") + sim_state_name(sim.state()) + " tries=" + std::to_string(sim.tries_left()) +
           " pins-entered=" + std::to_string(sim.pins_entered()) + " imei=" + modem.imei() + " iccid=" + modem.iccid();
}
