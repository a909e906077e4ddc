#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One command of an AT command line: "E0", "+CMGL=4", "+CMGF?", "+CMGD=?".
struct AtCommand {
    enum class Form {
        Action, // +CMGL, E1, Z
        Set,    // +CMGL=4
        Read,   // +CMGF?
        Test,   // +CMGF=?
    };

    std::string name; // upper case: "E", "&F", "+CMGS"
    Form form = Form::Action;
    std::string args; // after '=' for Set; the digits of a basic command
};

// The command line text that follows "AT" in `line`, or nullopt when the line holds no "AT". A modem
// hunts for the "AT" prefix in any letter case and drops whatever came before it.
std::optional<std::string> at_line_body(std::string_view line);

// The commands of a line body, split as V.250 chains them (basic commands back to back, extended
// commands separated by ';'); blanks outside quotes are dropped. nullopt when the body does not parse.
std::optional<std::vector<AtCommand>> split_at_commands(std::string_view body);

// The comma-separated parameters of a Set command, with the quotes around a string taken off.
std::vector<std::string> at_parameters(std::string_view args);

// A parameter as a decimal number within [low, high], or nullopt.
std::optional<int> at_number(std::string_view text, int low, int high);
