#include "modemsim/at_command.h"

#include <cctype>

namespace {

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool is_letter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string without_blanks(std::string_view body) {
    std::string out;
    bool quoted = false;
    for (char c : body) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (quoted || c != ' ') {
            out += c;
        }
    }
    return out;
}

// An extended command: '+' (or a vendor's '^', '$', '*') and its name, then its form and arguments up
// to the ';' that ends it.
AtCommand extended_command(const std::string& body, size_t& i) {
    AtCommand command;
    command.name = std::string(1, body[i++]);
    while (i < body.size() && (is_letter(body[i]) || is_digit(body[i]) || body[i] == '_')) {
        command.name += upper(body[i++]);
    }
    if (i < body.size() && body[i] == '?') {
        command.form = AtCommand::Form::Read;
        ++i;
    } else if (i + 1 < body.size() && body[i] == '=' && body[i + 1] == '?') {
        command.form = AtCommand::Form::Test;
        i += 2;
    } else if (i < body.size() && body[i] == '=') {
        command.form = AtCommand::Form::Set;
        bool quoted = false;
        for (++i; i < body.size() && (quoted || body[i] != ';'); ++i) {
            quoted = body[i] == '"' ? !quoted : quoted;
            command.args += body[i];
        }
    }
    if (i < body.size() && body[i] == ';') {
        ++i;
    }
    return command;
}

// A basic command: one letter, or '&' and a letter, then its digits.
AtCommand basic_command(const std::string& body, size_t& i) {
    AtCommand command;
    if (body[i] == '&' && i + 1 < body.size()) {
        command.name = "&";
        ++i;
    }
    command.name += upper(body[i++]);
    while (i < body.size() && is_digit(body[i])) {
        command.args += body[i++];
    }
    return command;
}

} // namespace

std::optional<std::string> at_line_body(std::string_view line) {
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (upper(line[i]) == 'A' && upper(line[i + 1]) == 'T') {
            return std::string(line.substr(i + 2));
        }
    }
    return std::nullopt;
}

std::optional<std::vector<AtCommand>> split_at_commands(std::string_view raw_body) {
    std::string body = without_blanks(raw_body);
    std::vector<AtCommand> commands;
    size_t i = 0;
    while (i < body.size()) {
        char c = body[i];
        if (c == ';') {
            ++i;
        } else if (c == '+' || c == '^' || c == '$' || c == '*') {
            commands.push_back(extended_command(body, i));
        } else if (is_letter(c) || (c == '&' && i + 1 < body.size() && is_letter(body[i + 1]))) {
            commands.push_back(basic_command(body, i));
        } else {
            return std::nullopt;
        }
    }
    return commands;
}

std::vector<std::string> at_parameters(std::string_view args) {
    std::vector<std::string> parameters(1);
    bool quoted = false;
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            parameters.emplace_back();
        } else {
            parameters.back() += c;
        }
    }
    return parameters;
}

std::optional<int> at_number(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (!is_digit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}
