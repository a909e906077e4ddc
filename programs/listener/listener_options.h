#pragma once

#include <cstddef>
#include <optional>
#include <string>

struct ProgramSpec;

// What the command line of vmsms-listener asks for. The defaults are the declarations' own
// (listener_options.cpp), taken before the command line is read.
struct ListenerOptions {
    std::string host;
    int port = 0;
    std::string cert_file; // both set: HTTPS
    std::string key_file;
    std::size_t max_body = 0;
    double rate = 0;                      // requests per second and token; 0 means no limit
    double burst = 0;                     // the most a token may send at once after a quiet spell
    int threads = 0;                      // threads running the server's I/O (and the requests' work)
    int per_address = 0;                  // connections one client address may hold open at once
    std::optional<std::string> new_token; // --new-token NAME: create a token and exit
};

// The declarations of the options, each taken into `options`.
ProgramSpec listener_spec(ListenerOptions& options);

// Reads the command line once into `options`. Returns the status the program ends with now: after
// --help or --version (0), a directory that cannot be entered (1), or a bad option (2, with the reason
// on standard error); nothing when it goes on.
std::optional<int> read_listener_options(int argc, char** argv, ListenerOptions& options);
