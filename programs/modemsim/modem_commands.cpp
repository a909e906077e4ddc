#include "modemsim/modem.h"

#include <array>
#include <map>

namespace {

using Form = AtCommand::Form;

// What a modem reports about itself; fixed, plausible values that tools asking for them accept.
const std::map<std::string, std::string>& identity_answers() {
    static const std::map<std::string, std::string> answers = {
        {"+CGMI", "vmSMS"},           {"+CGMM", "modemsim"},        {"+CGMR", "1.0"},
        {"+CIMI", "460001234567890"},
    };
    return answers;
}

// Settings a modem takes without anything to show for them here: error reporting, character set,
// text-mode parameters, the phone functionality level.
bool accepted_setting(const std::string& name) {
    return name == "+CMEE" || name == "+CSCS" || name == "+CSMP" || name == "+CFUN";
}

// AT+CFUN=1,1 (full functionality, reset first): the modem reboots.
bool reboot_command(const AtCommand& command) {
    return command.name == "+CFUN" && command.form == AtCommand::Form::Set && at_parameters(command.args).size() == 2 &&
           at_number(at_parameters(command.args)[1], 1, 1).has_value();
}

constexpr const char* reboot_line = "AT+CFUN=1,1";
constexpr std::size_t line_limit_hung = 64;

// The highest value each AT+CNMI parameter takes: mode, mt, bm, ds, bfr.
constexpr std::array<int, 5> cnmi_highest = {3, 3, 3, 2, 1};

} // namespace

Modem::Result Modem::sim_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Read) {
        SimCard::Answer answer = sim_.read_state();
        if (!answer.info.empty()) {
            result.info = {answer.info};
        } else {
            result.final_code = answer.error;
        }
    } else if (command.form == Form::Set) {
        std::vector<std::string> values = at_parameters(command.args);
        std::string refused = values.empty() ? "+CME ERROR: 16" : sim_.enter(values[0]);
        if (!refused.empty()) {
            result.final_code = refused;
        }
    } else if (command.form != Form::Test) {
        result.final_code = "ERROR";
    }
    return result;
}

void Modem::hung_byte(char c) {
    if (c != '\r') {
        if (c != '\n' && hung_line_.size() < line_limit_hung) {
            hung_line_ += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        return;
    }
    if (hung_line_ == reboot_line) {
        reboot_asked_ = true;
    }
    hung_line_.clear();
}

std::string Modem::boot_lines() const {
    SimCard::Answer sim = sim_.read_state();
    std::string lines = "\r\nRDY\r\n\r\n+CFUN: 1\r\n";
    lines += "\r\n" + (sim.info.empty() ? std::string("+CPIN: NOT INSERTED") : sim.info) + "\r\n";
    if (sim_.state() == SimCard::State::Ready) {
        lines += "\r\nSMS DONE\r\n";
    }
    return lines;
}

Modem::Result Modem::run_basic(const AtCommand& command) {
    Result result;
    const std::string& name = command.name;
    const std::string& value = command.args;
    if (name == "E" && (value.empty() || value == "0" || value == "1")) {
        echo_ = value == "1";
    } else if (name == "Z" || name == "&F") {
        echo_ = profile_.echo;
        cnmi_ = {};
    } else if (name == "I") {
        result.info = {"vmSMS modemsim"};
    } else if ((name == "V" && value == "1") || (name == "Q" && (value.empty() || value == "0")) || name == "&C" ||
               name == "&D") {
        // Verbose result codes, results on, line-signal options: all already how this modem works.
    } else {
        result.final_code = "ERROR";
    }
    return result;
}

Modem::Result Modem::run_identity(const AtCommand& command) {
    Result result;
    const std::string& name = command.name;
    auto identity = identity_answers().find(name);
    if (identity != identity_answers().end() && command.form == Form::Action) {
        result.info = {identity->second};
    } else if (name == "+CGSN" && command.form == Form::Action) {
        result.info = {imei_};
    } else if ((name == "+CCID" || name == "^ICCID") && command.form == Form::Action) {
        result.info = {"+CCID: " + iccid_};
    } else if (reboot_command(command)) {
        reboot_asked_ = true;
    } else if (name == "+CSQ" && command.form == Form::Action) {
        result.info = {"+CSQ: " + std::to_string(rssi_) + ",99"};
    } else if (name == "+CREG" && command.form == Form::Read) {
        result.info = {"+CREG: 0," + std::to_string(registration_)};
    } else if (name == "+CFUN" && command.form == Form::Read) {
        result.info = {"+CFUN: 1"}; // full functionality, always
    } else if (name == "+CSCS" && command.form == Form::Read) {
        // Tools that pick a character set ask which one is in use and which are offered.
        result.info = {"+CSCS: \"GSM\""};
    } else if (name == "+CSCS" && command.form == Form::Test) {
        result.info = {"+CSCS: (\"GSM\",\"IRA\",\"UCS2\")"};
    } else if (accepted_setting(name) && command.form != Form::Action) {
        // Taken as given.
    } else {
        result.final_code = "ERROR";
    }
    return result;
}

Modem::Result Modem::service_centre_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Read) {
        bool international = !profile_.service_centre.empty() && profile_.service_centre[0] == '+';
        result.info = {"+CSCA: \"" + profile_.service_centre + "\"," + (international ? "145" : "129")};
    } else if (command.form == Form::Set && !at_parameters(command.args)[0].empty()) {
        profile_.service_centre = at_parameters(command.args)[0];
    } else if (command.form != Form::Test) {
        result.final_code = "ERROR";
    }
    return result;
}

Modem::Result Modem::indications_command(const AtCommand& command) {
    Result result;
    if (command.form == Form::Action) {
        result.final_code = "ERROR";
    } else if (!profile_.indications) {
        result.final_code = "+CMS ERROR: 303"; // operation not supported
    } else if (command.form == Form::Read) {
        result.info = {"+CNMI: " + indication_settings()};
    } else if (command.form == Form::Test) {
        result.info = {"+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)"};
    } else {
        // Parameters left off at the end are 0. Anything but digits is a syntax error; numbers the
        // modem does not offer, or too many of them, are an operation it does not support.
        std::vector<std::string> parameters = at_parameters(command.args);
        std::array<int, 5> settings{};
        for (size_t i = 0; i < parameters.size(); ++i) {
            auto value = at_number(parameters[i], 0, 999999999);
            if (!value) {
                result.final_code = "ERROR";
                return result;
            }
            if (i >= settings.size() || *value > cnmi_highest[i]) {
                result.final_code = "+CMS ERROR: 303";
            } else {
                settings[i] = *value;
            }
        }
        if (result.final_code == "OK") {
            cnmi_ = settings;
        }
    }
    return result;
}

std::string Modem::new_message_indication(int index) const {
    // A dead modem announces nothing either. mt 2 and 3 would hand the message over with +CMT
    // instead, which this modem does not do: it stores every message and announces it for mt 1 only.
    if (fault_ == Fault::Silent || cnmi_[0] == 0 || cnmi_[1] != 1) {
        return {};
    }
    return "\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n";
}

std::string Modem::indication_settings() const {
    std::string text;
    for (int value : cnmi_) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}
