#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Programs the gateway starts on the operator's behalf (event hooks): no shell between, so nothing in
// a message's text is ever read as a command.

// The words of a command line, split as a shell splits plain words: at blanks, with '...' and "..."
// keeping blanks inside and a backslash taking the next character as it is. Nothing else is special:
// no variables, no wildcards, no pipes. Nothing when a quote is left open.
std::optional<std::vector<std::string>> split_command_line(std::string_view line);

// Starts `argv` (argv[0] a path, or a name looked up in PATH) with this process's environment and
// `extra_env` ("NAME=value" entries, which win), standard input and output on /dev/null, in a process
// group of its own so it can be stopped with whatever it started. The child's pid, or -1 (errno set).
pid_t spawn_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env);
