#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A program's command line, declared once: each option with its name, its argument's name, its help
// line, its default and the server.txt key it defaults from. One reading of argv fills the program's own
// struct through the declarations; --help, --version and --dir are the same for every program, and the
// option lines of --help are rendered from the declarations.

// What an option stands for. --help, --version and --dir are acted on by the parser itself.
enum class OptionRole { Own, Help, Version, Dir };

// Takes an option's argument (empty for a flag) into the program's struct. Returns what is wrong with
// the argument ("" when it is taken); the text is worded to follow the option's name.
using TakeArgument = std::function<std::string(const std::string& argument)>;

struct OptionSpec {
    std::string name;     // "--speed"
    std::string argument; // the argument's name in the help ("0..10"); empty: a flag
    // The explanation; each '\n' starts a continuation line. "{default}" stands for default_value and
    // "{setting}" for setting.
    std::string help;
    // Taken before the command line is read, as if given on it; empty: none.
    std::string default_value;
    // The server.txt key the option defaults from when the command line leaves it out; empty: none.
    std::string setting;
    // Reads the key and takes its value into the program's struct.
    std::function<void()> load_setting;
    TakeArgument take;
    // Taken wherever it stands, even after a mistake earlier in the line (the others are not).
    bool early = false;
    OptionRole role = OptionRole::Own;

    // The declaration with a default, a server.txt key, or taken early.
    OptionSpec defaults_to(std::string value) &&;
    OptionSpec from_setting(std::string key, std::function<void()> load) &&;
    OptionSpec taken_early() &&;
};

// An option without an argument; `set` runs each time it is given.
OptionSpec flag_option(std::string name, std::string help, std::function<void()> set);
// An option with an argument.
OptionSpec argument_option(std::string name, std::string argument, std::string help, TakeArgument take);
OptionSpec help_option(std::string help = "show this text and exit");
OptionSpec version_option(std::string help = "show the version and exit");
// --dir PATH: entered, in the order given, before anything else is done.
OptionSpec dir_option(std::string help);

struct ProgramSpec {
    std::string program;         // "vmsmsd": the version line's and every message's first word
    std::string help_head;       // --help's text before the option lines
    std::string help_tail;       // and after them
    std::size_t help_column = 0; // where the option lines' explanations start
    std::vector<OptionSpec> options;
    // Takes a word that is no option (one not starting with "--"); none: such a word is a mistake.
    TakeArgument operand;
    // Unknown words and a last option without its argument are passed over instead of being mistakes.
    bool lenient = false;
};

// The first mistake in a command line.
struct CommandLineError {
    enum class Kind { UnknownOption, MissingArgument, BadArgument, BadOperand };
    Kind kind = Kind::UnknownOption;
    std::string word;      // the unknown or refused word, or the option whose argument is missing or wrong
    std::string argument;  // BadArgument: the argument given
    std::string problem;   // BadArgument, BadOperand: what is wrong with it
    bool followed = false; // UnknownOption: another word comes after it
};

// One word of the command line as it was read: an option (with its argument) or another word.
struct ReadWord {
    const OptionSpec* option = nullptr; // nullptr: an operand or an unknown word
    std::string word;
    std::string argument;
};

struct CommandLine {
    enum class Request { Run, Help, Version };
    Request request = Request::Run;       // the first of --help and --version, wherever it stands
    std::vector<std::string> directories; // --dir, in order
    bool directory_missing = false;       // --dir ends the line without its path
    std::optional<CommandLineError> error;
    std::vector<ReadWord> words; // everything read, in order

    // Whether the option called `name` is on the line.
    bool given(const std::string& name) const;
};

// Reads argv once. First the declared defaults are taken, then every word in order; after the first
// mistake only early options are taken. --help and --version count even where another option would take
// them as its argument.
CommandLine read_command_line(const ProgramSpec& spec, int argc, char** argv);

// The option lines of --help: "  NAME ARGUMENT" padded to the column, then the explanation; a name too
// long for the column has the explanation start on the next line.
std::string option_lines(const ProgramSpec& spec);
// The whole of --help: the head, the option lines, the tail.
std::string help_text(const ProgramSpec& spec);

// What is wrong, without the program's name: 'unknown option "--x"', "--speed needs an argument",
// '--speed must be 0 to 10, not "11"', 'one text only: "b"'.
std::string describe(const CommandLineError& error);
// Prints "<program>: <what is wrong>" on standard error; returns 2, the status of a bad command line.
int report_error(const ProgramSpec& spec, const CommandLineError& error);

// --help, --version and --dir: prints the help or the version line on standard output (status 0), or
// enters the directories in order (status 1 when one cannot be entered, 2 when --dir has no path).
// Nothing when the program goes on.
std::optional<int> settle_common_options(const ProgramSpec& spec, const CommandLine& line);

// Takes the server.txt keys of the options: at start those the command line left out (`line`), when
// server.txt is read again every one of them (nullptr).
void load_settings(const ProgramSpec& spec, const CommandLine* line);
