// vmsms-listener: the gateway's HTTP intake. Queues messages into the spool of the working directory
// through the same call as the compose tab and vmsms-send, and tells what became of them.

#include "listener_options.h"
#include "server.h"
#include "token_file.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    ListenerOptions options;
    if (std::optional<int> status = read_listener_options(argc, argv, options)) {
        return *status;
    }
    if (options.new_token) {
        std::string problem;
        std::optional<std::string> token = add_new_token(token_file_name, *options.new_token, problem);
        if (!token) {
            std::fprintf(stderr, "vmsms-listener: %s\n", problem.c_str());
            return valid_token_name(*options.new_token) ? 1 : 2;
        }
        std::printf("%s\n", token->c_str());
        std::fprintf(stderr, "vmsms-listener: token \"%s\" stored in %s; it is shown only this once\n",
                     options.new_token->c_str(), token_file_name);
        return 0;
    }
    TokenFile tokens = read_token_file(token_file_name);
    switch (tokens.status) {
    case TokenFile::Status::Read:
        break;
    case TokenFile::Status::Missing:
        std::fprintf(stderr, "vmsms-listener: no %s here: create a token with vmsms-listener --new-token NAME\n",
                     token_file_name);
        return 1;
    case TokenFile::Status::Unreadable:
    case TokenFile::Status::Malformed:
        std::fprintf(stderr, "vmsms-listener: cannot read %s: %s\n", token_file_name, tokens.problem.c_str());
        return 1;
    }
    if (std::optional<std::string> exposed = token_file_exposure(tokens, token_file_name, ::geteuid())) {
        std::fprintf(stderr, "vmsms-listener: %s\n", exposed->c_str());
        return 1;
    }
    if (tokens.entries.empty()) {
        std::fprintf(stderr, "vmsms-listener: %s holds no token: create one with --new-token NAME\n", token_file_name);
        return 1;
    }
    // Before any thread exists, so that all of them inherit the blocked signals.
    block_stop_signals();
    ListenerContext context{tokens.entries, RateLimit(options.rate, options.burst), {}};
    return serve(options, context);
}
