#include "listener_options.h"

#include "platform/program_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char help_head[] =
    "usage: vmsms-listener [--dir PATH] [--listen ADDR:PORT] [--cert FILE --key FILE] [--max-body BYTES]\n"
    "                      [--rate PER_SECOND] [--burst N] [--threads N] [--per-address N]\n"
    "       vmsms-listener [--dir PATH] --new-token NAME\n"
    "\n"
    "The gateway's HTTP intake: queues messages into the spool of the working directory, as the compose\n"
    "tab and vmsms-send do, and tells what became of them. Every request carries a bearer token\n"
    "(Authorization: Bearer TOKEN) listed in listener.txt of the working directory.\n"
    "\n";

const char help_tail[] =
    "\n"
    "Routes: POST /v1/messages, GET /v1/messages/DAY/RECORD, GET /v1/received?day=DAY&after=N,\n"
    "GET /v1/status, GET /metrics. Every request is logged to log/HTTP<date>.log.\n"
    "Limits: headers at most 16 KiB in 100 lines, within 10 s of the request's start (431 and 408);\n"
    "a body within 10 s plus 1 s per 16 KiB after its headers (408).\n"
    "SIGTERM or SIGINT: finish the requests in hand, then exit.\n"
    "Exit status: 0 after a stop by signal, 1 when it cannot start (port busy, token file unreadable,\n"
    "without tokens, writable by others or not the user's own, certificate unusable), 2 for bad\n"
    "options.\n";

int bad(const std::string& what) {
    std::fprintf(stderr, "vmsms-listener: %s (see --help)\n", what.c_str());
    return 2;
}

bool parse_number(const std::string& text, double low, double high, double& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high) {
        return false;
    }
    out = v;
    return true;
}

bool parse_whole(const std::string& text, double low, double high, int& out) {
    double number = 0;
    if (!parse_number(text, low, high, number) || number != std::floor(number)) {
        return false;
    }
    out = static_cast<int>(number);
    return true;
}

// "ADDR:PORT", "[V6ADDR]:PORT" or ":PORT" (the address kept).
bool parse_listen(const std::string& text, ListenerOptions& options) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    int port = 0;
    if (!parse_whole(text.substr(colon + 1), 1, 65535, port)) {
        return false;
    }
    if (!host.empty()) {
        options.host = host;
    }
    options.port = port;
    return true;
}

// An option whose argument is kept as it is.
OptionSpec text_option(std::string name, std::string argument, std::string help, std::string& target) {
    return argument_option(std::move(name), std::move(argument), std::move(help), [&target](const std::string& text) {
        target = text;
        return std::string();
    });
}

// An option whose argument must pass `parse`; `problem` says what it must be.
template <class Parse>
OptionSpec checked_option(std::string name, std::string argument, std::string help, std::string problem, Parse parse) {
    return argument_option(std::move(name), std::move(argument), std::move(help),
                           [problem = std::move(problem), parse](const std::string& text) {
                               return parse(text) ? std::string() : problem;
                           });
}

// A number from `low` to `high` into `target`.
template <class Number>
OptionSpec number_option(std::string name, std::string argument, std::string help, std::string problem, double low,
                         double high, Number& target) {
    return checked_option(std::move(name), std::move(argument), std::move(help), std::move(problem),
                          [low, high, &target](const std::string& text) {
                              double number = 0;
                              if (!parse_number(text, low, high, number)) {
                                  return false;
                              }
                              target = static_cast<Number>(number);
                              return true;
                          });
}

// A whole number from `low` to `high` into `target`.
OptionSpec whole_option(std::string name, std::string argument, std::string help, std::string problem, double low,
                        double high, int& target) {
    return checked_option(
        std::move(name), std::move(argument), std::move(help), std::move(problem),
        [low, high, &target](const std::string& text) { return parse_whole(text, low, high, target); });
}

} // namespace

ProgramSpec listener_spec(ListenerOptions& options) {
    ProgramSpec spec;
    spec.program = "vmsms-listener";
    spec.help_head = help_head;
    spec.help_tail = help_tail;
    spec.help_column = 24;
    spec.options = {
        dir_option("work in PATH (the gateway's directory) instead of the current one"),
        argument_option("--new-token", "NAME",
                        "create a token called NAME (letters, digits, '.', '_', '-'; at most 64),\n"
                        "print it once and store only its SHA-256 hash in listener.txt (mode 0600);\n"
                        "then exit. Delete the line of a name from listener.txt to revoke it.",
                        [&options](const std::string& name) {
                            options.new_token = name;
                            return std::string();
                        }),
        checked_option("--listen", "ADDR:PORT",
                       "the address to listen on (default {default}); 0.0.0.0:PORT for every\n"
                       "address of the machine, [::1]:PORT for IPv6",
                       "needs ADDR:PORT with a port from 1 to 65535",
                       [&options](const std::string& text) { return parse_listen(text, options); })
            .defaults_to("127.0.0.1:8808"),
        text_option("--cert", "FILE", "a PEM certificate (chain): serve HTTPS instead of HTTP; needs --key",
                    options.cert_file),
        text_option("--key", "FILE", "the PEM private key of --cert", options.key_file),
        number_option("--max-body", "BYTES",
                      "the largest request body taken (default {default}); a larger one is\n"
                      "answered 413",
                      "needs a number of bytes from 1 to 1073741824", 1, 1024.0 * 1024 * 1024, options.max_body)
            .defaults_to("1048576"),
        number_option("--rate", "PER_SECOND",
                      "requests each token may make per second on average (default {default}; 0: no\n"
                      "limit); more are answered 429",
                      "needs a number of requests per second (0 for no limit)", 0, 1e9, options.rate)
            .defaults_to("20"),
        number_option("--burst", "N", "requests a token may make at once after a quiet spell (default {default})",
                      "needs a number of requests of at least 1", 1, 1e9, options.burst)
            .defaults_to("40"),
        whole_option("--threads", "N", "threads serving the connections (default {default}); a slow client holds none",
                     "needs a whole number from 1 to 1024", 1, 1024, options.threads)
            .defaults_to("16"),
        whole_option("--per-address", "N",
                     "connections one client address may have open at once (default {default}); more\n"
                     "are answered 503 (over HTTPS: closed) at once",
                     "needs a whole number from 1 to 65535", 1, 65535, options.per_address)
            .defaults_to("16"),
        help_option(),
        version_option(),
    };
    return spec;
}

std::optional<int> read_listener_options(int argc, char** argv, ListenerOptions& options) {
    ProgramSpec spec = listener_spec(options);
    CommandLine line = read_command_line(spec, argc, argv);
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return status;
    }
    if (line.error) {
        const CommandLineError& error = *line.error;
        if (error.kind == CommandLineError::Kind::BadArgument) {
            return bad(describe(error));
        }
        return bad("unknown option, or an option without its value: \"" + error.word + "\"");
    }
    if (options.cert_file.empty() != options.key_file.empty()) {
        return bad("--cert and --key go together");
    }
    return std::nullopt;
}
