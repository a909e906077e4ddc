#pragma once

#include <string>

// Gives up root for the named user: its groups (dialout among them, for the serial devices), its group,
// then the user itself, for good. False, with the reason on standard error, when the user is unknown,
// this process is not root, or a step fails.
bool become_user(const std::string& program, const std::string& user);
