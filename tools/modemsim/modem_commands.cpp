#include "modemsim/modem.h"

#include <map>

namespace {

using Form = AtCommand::Form;

// What a modem reports about itself; fixed, plausible values that tools asking for them accept.
const std::map<std::string, std::string>& identity_answers() {
    static const std::map<std::string, std::string> answers = {
        {"+CGMI", "vmSMS"},           {"+CGMM", "modemsim"},        {"+CGMR", "1.0"},
        {"+CGSN", "351234567890124"}, {"+CIMI", "460001234567890"}, {"+CSQ", "+CSQ: 25,99"},
    };
    return answers;
}

// Settings a modem takes without anything to show for them here: new-message indications, error
// reporting, character set.
bool accepted_setting(const std::string& name) {
    return name == "+CNMI" || name == "+CMEE" || name == "+CSCS" || name == "+CSMP";
}

} // namespace

Modem::Result Modem::run_basic(const AtCommand& command) {
    Result result;
    const std::string& name = command.name;
    const std::string& value = command.args;
    if (name == "E" && (value.empty() || value == "0" || value == "1")) {
        echo_ = value == "1";
    } else if (name == "Z" || name == "&F") {
        echo_ = profile_.echo;
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
    } else if (name == "+CPIN" && command.form == Form::Read) {
        result.info = {"+CPIN: READY"};
    } else if (name == "+CREG" && command.form == Form::Read) {
        result.info = {"+CREG: 0,1"};
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

Modem::Result Modem::storage_command(const AtCommand& command) {
    Result result;
    std::string counts = std::to_string(store_.used()) + "," + std::to_string(store_.capacity());
    if (command.form == Form::Read) {
        result.info = {"+CPMS: \"SM\"," + counts + ",\"SM\"," + counts + ",\"SM\"," + counts};
    } else if (command.form == Form::Set) {
        // The SIM is the only memory this modem has.
        for (const std::string& memory : at_parameters(command.args)) {
            if (memory != "SM") {
                result.final_code = "+CMS ERROR: 302";
                return result;
            }
        }
        result.info = {"+CPMS: " + counts + "," + counts + "," + counts};
    } else if (command.form == Form::Test) {
        result.info = {"+CPMS: (\"SM\"),(\"SM\"),(\"SM\")"};
    } else {
        result.final_code = "ERROR";
    }
    return result;
}
