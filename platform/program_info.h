#pragma once

#include <string>

// What every program of the gateway says about itself, and the working directory it is pointed at.

// "<program> (vmSMS) <version>", the line --version prints.
std::string version_line(const std::string& program);

// Makes `path` the working directory, as --dir asks. False, with the reason on standard error
// ("<program>: cannot work in <path>: <reason>"), when it cannot be entered.
bool enter_directory(const std::string& program, const std::string& path);
