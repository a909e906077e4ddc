#pragma once

#include "engine/engine_context.h"

#include <optional>
#include <string>
#include <vector>

// The extra set-up commands of server.txt's INIT, sent after the start-up exchange and after every
// reopening, when INIT is set: "AT+CMEE=1|AT+CSCS=\"GSM\"", one command between each '|'. Each must
// answer OK.

struct InitCommands {
    std::vector<std::string> commands;
    std::string problem; // why the setting was not taken (nothing is sent then), or ""
};

// A command is printable ASCII starting with "AT", at most 200 characters: a line end, Ctrl-Z or ESC
// inside it would end it early or send a PDU.
InitCommands parse_init_commands(const std::string& text);

// Sends INIT's commands in order, each awaiting its final result code (at most command_timeout_ms).
// The first that does not answer OK ends it, and the message naming it (GBK, for the monitor) is
// returned; nullopt when INIT is unset or every command answered OK.
std::optional<std::string> run_init_commands(EngineContext& ctx);
