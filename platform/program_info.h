#pragma once

#include <optional>
#include <string>

// What every program of the gateway says about itself, and the working directory it is pointed at.

// "<program> (vmSMS) <version>", the line --version prints.
std::string version_line(const std::string& program);

// Makes `path` the working directory, as --dir asks. False, with the reason on standard error
// ("<program>: cannot work in <path>: <reason>"), when it cannot be entered.
bool enter_directory(const std::string& program, const std::string& path);

// The options every program takes, looked at before any other: --help prints `help` and --version the
// version line (each to standard output, then the program ends with 0); with `takes_dir`, --dir PATH
// enters PATH. Returns the status the program must end with now: 0 after --help or --version, 2 for
// --dir without a path, 1 when the directory cannot be entered; nothing when it goes on.
std::optional<int> common_options(const std::string& program, int argc, char** argv, const char* help,
                                  bool takes_dir = true);
