#include "platform/program_options.h"

#include "platform/program_info.h"

#include <cstdio>

OptionSpec OptionSpec::defaults_to(std::string value) && {
    default_value = std::move(value);
    return std::move(*this);
}

OptionSpec OptionSpec::from_setting(std::string key, std::function<void()> load) && {
    setting = std::move(key);
    load_setting = std::move(load);
    return std::move(*this);
}

OptionSpec OptionSpec::taken_early() && {
    early = true;
    return std::move(*this);
}

OptionSpec flag_option(std::string name, std::string help, std::function<void()> set) {
    OptionSpec option;
    option.name = std::move(name);
    option.help = std::move(help);
    option.take = [set = std::move(set)](const std::string&) {
        set();
        return std::string();
    };
    return option;
}

OptionSpec argument_option(std::string name, std::string argument, std::string help, TakeArgument take) {
    OptionSpec option;
    option.name = std::move(name);
    option.argument = std::move(argument);
    option.help = std::move(help);
    option.take = std::move(take);
    return option;
}

namespace {

OptionSpec role_option(OptionRole role, std::string name, std::string argument, std::string help) {
    OptionSpec option;
    option.role = role;
    option.name = std::move(name);
    option.argument = std::move(argument);
    option.help = std::move(help);
    option.early = true;
    return option;
}

} // namespace

OptionSpec help_option(std::string help) {
    return role_option(OptionRole::Help, "--help", "", std::move(help));
}

OptionSpec version_option(std::string help) {
    return role_option(OptionRole::Version, "--version", "", std::move(help));
}

OptionSpec dir_option(std::string help) {
    return role_option(OptionRole::Dir, "--dir", "PATH", std::move(help));
}

bool CommandLine::given(const std::string& name) const {
    for (const ReadWord& word : words) {
        if (word.option && word.option->name == name) {
            return true;
        }
    }
    return false;
}

namespace {

const OptionSpec* find_option(const ProgramSpec& spec, const std::string& word) {
    for (const OptionSpec& option : spec.options) {
        if (option.name == word) {
            return &option;
        }
    }
    return nullptr;
}

// One reading of argv, word by word.
class LineReader {
public:
    LineReader(const ProgramSpec& spec, int argc, char** argv) : spec_(spec), argc_(argc), argv_(argv) {}

    CommandLine read() {
        take_defaults();
        for (index_ = 1; index_ < argc_; ++index_) {
            read_word(argv_[index_]);
        }
        return std::move(line_);
    }

private:
    void take_defaults() {
        for (const OptionSpec& option : spec_.options) {
            if (!option.default_value.empty() && option.take) {
                option.take(option.default_value);
            }
        }
    }

    bool has_next() const { return index_ + 1 < argc_; }

    void note_request(const std::string& word) {
        if (line_.request != CommandLine::Request::Run) {
            return;
        }
        if (word == "--help") {
            line_.request = CommandLine::Request::Help;
        } else if (word == "--version") {
            line_.request = CommandLine::Request::Version;
        }
    }

    void fail(CommandLineError error) {
        if (!line_.error && !spec_.lenient) {
            line_.error = std::move(error);
        }
    }

    bool taking() const { return !line_.error; }

    void read_word(const std::string& word) {
        note_request(word);
        const OptionSpec* option = find_option(spec_, word);
        if (!option) {
            read_other(word);
            return;
        }
        ReadWord read{option, word, ""};
        if (!option->argument.empty()) {
            if (!has_next()) {
                missing_argument(*option);
                line_.words.push_back(std::move(read));
                return;
            }
            read.argument = argv_[++index_];
            note_request(read.argument);
        }
        take(*option, read.argument);
        line_.words.push_back(std::move(read));
    }

    void missing_argument(const OptionSpec& option) {
        if (option.role == OptionRole::Dir) {
            line_.directory_missing = true;
            return;
        }
        fail({CommandLineError::Kind::MissingArgument, option.name, "", "", false});
    }

    void take(const OptionSpec& option, const std::string& argument) {
        if (option.role == OptionRole::Dir) {
            line_.directories.push_back(argument);
            return;
        }
        if (option.role != OptionRole::Own || !option.take || (!taking() && !option.early)) {
            return;
        }
        std::string problem = option.take(argument);
        if (!problem.empty()) {
            fail({CommandLineError::Kind::BadArgument, option.name, argument, problem, false});
        }
    }

    void read_other(const std::string& word) {
        line_.words.push_back({nullptr, word, ""});
        bool operand = word.rfind("--", 0) != 0;
        if (operand && spec_.operand) {
            if (!taking()) {
                return;
            }
            std::string problem = spec_.operand(word);
            if (!problem.empty()) {
                fail({CommandLineError::Kind::BadOperand, word, "", problem, false});
            }
            return;
        }
        fail({CommandLineError::Kind::UnknownOption, word, "", "", has_next()});
    }

    const ProgramSpec& spec_;
    int argc_;
    char** argv_;
    int index_ = 1;
    CommandLine line_;
};

// The explanation with its placeholders filled in.
std::string explanation(const OptionSpec& option) {
    std::string text = option.help;
    for (auto [mark, value] : {std::pair<std::string, const std::string*>{"{default}", &option.default_value},
                               std::pair<std::string, const std::string*>{"{setting}", &option.setting}}) {
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value->size())) {
            text.replace(at, mark.size(), *value);
        }
    }
    return text;
}

std::string option_line(const OptionSpec& option, std::size_t column) {
    std::string line = "  " + option.name;
    if (!option.argument.empty()) {
        line += " " + option.argument;
    }
    std::string indent(column, ' ');
    if (line.size() + 2 > column) {
        line += "\n" + indent;
    } else {
        line.append(column - line.size(), ' ');
    }
    std::string text = explanation(option);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1 + column)) {
        text.insert(at + 1, indent);
    }
    return line + text + "\n";
}

} // namespace

CommandLine read_command_line(const ProgramSpec& spec, int argc, char** argv) {
    return LineReader(spec, argc, argv).read();
}

std::string option_lines(const ProgramSpec& spec) {
    std::string lines;
    for (const OptionSpec& option : spec.options) {
        lines += option_line(option, spec.help_column);
    }
    return lines;
}

std::string help_text(const ProgramSpec& spec) {
    return spec.help_head + option_lines(spec) + spec.help_tail;
}

std::string describe(const CommandLineError& error) {
    switch (error.kind) {
    case CommandLineError::Kind::UnknownOption:
        return (error.word.rfind("--", 0) == 0 ? "unknown option \"" : "unexpected word \"") + error.word + "\"";
    case CommandLineError::Kind::MissingArgument:
        return error.word + " needs an argument";
    case CommandLineError::Kind::BadOperand:
        return error.problem + ": \"" + error.word + "\"";
    case CommandLineError::Kind::BadArgument:
        break;
    }
    return error.word + " " + error.problem + ", not \"" + error.argument + "\"";
}

int report_error(const ProgramSpec& spec, const CommandLineError& error) {
    std::fprintf(stderr, "%s: %s\n", spec.program.c_str(), describe(error).c_str());
    return 2;
}

std::optional<int> settle_common_options(const ProgramSpec& spec, const CommandLine& line) {
    if (line.request == CommandLine::Request::Help) {
        std::string text = help_text(spec);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (line.request == CommandLine::Request::Version) {
        std::printf("%s\n", version_line(spec.program).c_str());
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    for (const std::string& directory : line.directories) {
        if (!enter_directory(spec.program, directory)) {
            return 1;
        }
    }
    if (line.directory_missing) {
        std::fprintf(stderr, "%s: --dir needs a path\n", spec.program.c_str());
        return 2;
    }
    return std::nullopt;
}

void load_settings(const ProgramSpec& spec, const CommandLine* line) {
    for (const OptionSpec& option : spec.options) {
        if (option.load_setting && !(line && line->given(option.name))) {
            option.load_setting();
        }
    }
}
