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
