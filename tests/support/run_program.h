#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    int exit_code = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program in the current directory with the given arguments and standard input, and waits.
ProgramResult run_program(const std::string& path, const std::vector<std::string>& args, const std::string& input = {});

// In a forked child: gives it `in`, `out` and `err` as its standard streams, unblocks every signal
// (the test runner may block some) and executes the program. Never returns.
[[noreturn]] void exec_in_child(const std::string& path, const std::vector<std::string>& args, int in, int out,
                                int err);
