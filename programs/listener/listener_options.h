#pragma once

#include <cstddef>
#include <optional>
#include <string>

// What the command line of vmsms-listener asks for. --help, --version and --dir are handled before
// these are read (platform/program_info.h).
struct ListenerOptions {
    std::string host = "127.0.0.1";
    int port = 8808;
    std::string cert_file; // both set: HTTPS
    std::string key_file;
    std::size_t max_body = 1024 * 1024;
    double rate = 20;                     // requests per second and token; 0 means no limit
    double burst = 40;                    // the most a token may send at once after a quiet spell
    int threads = 16;                     // threads running the server's I/O (and the requests' work)
    int per_address = 16;                 // connections one client address may hold open at once
    std::optional<std::string> new_token; // --new-token NAME: create a token and exit
};

extern const char* const listener_help;

// The options, or nullopt after a message on standard error naming the bad option.
std::optional<ListenerOptions> parse_listener_options(int argc, char** argv);
