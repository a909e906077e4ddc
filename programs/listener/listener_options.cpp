#include "listener_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

const char* const listener_help =
    "usage: vmsms-listener [--dir PATH] [--listen ADDR:PORT] [--cert FILE --key FILE] [--max-body BYTES]\n"
    "                      [--rate PER_SECOND] [--burst N] [--threads N] [--per-address N]\n"
    "       vmsms-listener [--dir PATH] --new-token NAME\n"
    "\n"
    "The gateway's HTTP intake: queues messages into the spool of the working directory, as the compose\n"
    "tab and vmsms-send do, and tells what became of them. Every request carries a bearer token\n"
    "(Authorization: Bearer TOKEN) listed in listener.txt of the working directory.\n"
    "\n"
    "  --dir PATH            work in PATH (the gateway's directory) instead of the current one\n"
    "  --new-token NAME      create a token called NAME (letters, digits, '.', '_', '-'; at most 64),\n"
    "                        print it once and store only its SHA-256 hash in listener.txt (mode 0600);\n"
    "                        then exit. Delete the line of a name from listener.txt to revoke it.\n"
    "  --listen ADDR:PORT    the address to listen on (default 127.0.0.1:8808); 0.0.0.0:PORT for every\n"
    "                        address of the machine, [::1]:PORT for IPv6\n"
    "  --cert FILE           a PEM certificate (chain): serve HTTPS instead of HTTP; needs --key\n"
    "  --key FILE            the PEM private key of --cert\n"
    "  --max-body BYTES      the largest request body taken (default 1048576); a larger one is\n"
    "                        answered 413\n"
    "  --rate PER_SECOND     requests each token may make per second on average (default 20; 0: no\n"
    "                        limit); more are answered 429\n"
    "  --burst N             requests a token may make at once after a quiet spell (default 40)\n"
    "  --threads N           threads serving the connections (default 16); a slow client holds none\n"
    "  --per-address N       connections one client address may have open at once (default 16); more\n"
    "                        are answered 503 (over HTTPS: closed) at once\n"
    "  --help                show this text and exit\n"
    "  --version             show the version and exit\n"
    "\n"
    "Routes: POST /v1/messages, GET /v1/messages/DAY/RECORD, GET /v1/received?day=DAY&after=N,\n"
    "GET /v1/status, GET /metrics. Every request is logged to log/HTTP<date>.log.\n"
    "Limits: headers at most 16 KiB in 100 lines, within 10 s of the request's start (431 and 408);\n"
    "a body within 10 s plus 1 s per 16 KiB after its headers (408).\n"
    "SIGTERM or SIGINT: finish the requests in hand, then exit.\n"
    "Exit status: 0 after a stop by signal, 1 when it cannot start (port busy, token file unreadable,\n"
    "without tokens, writable by others or not the user's own, certificate unusable), 2 for bad\n"
    "options.\n";

namespace {

bool bad(const std::string& what) {
    std::fprintf(stderr, "vmsms-listener: %s (see --help)\n", what.c_str());
    return false;
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

// "ADDR:PORT", "[V6ADDR]:PORT" or ":PORT" (the default address).
bool parse_listen(const std::string& text, ListenerOptions& options) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    double port = 0;
    if (!parse_number(text.substr(colon + 1), 1, 65535, port) || port != std::floor(port)) {
        return false;
    }
    if (!host.empty()) {
        options.host = host;
    }
    options.port = static_cast<int>(port);
    return true;
}

} // namespace

std::optional<ListenerOptions> parse_listener_options(int argc, char** argv) {
    ListenerOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        std::string value = has_value ? argv[i + 1] : "";
        double number = 0;
        if (arg == "--dir" && has_value) {
            ++i; // entered before the options are read
        } else if (arg == "--listen" && has_value) {
            if (!parse_listen(value, options)) {
                bad("--listen needs ADDR:PORT with a port from 1 to 65535, not \"" + value + "\"");
                return std::nullopt;
            }
            ++i;
        } else if (arg == "--cert" && has_value) {
            options.cert_file = value;
            ++i;
        } else if (arg == "--key" && has_value) {
            options.key_file = value;
            ++i;
        } else if (arg == "--max-body" && has_value) {
            if (!parse_number(value, 1, 1024.0 * 1024 * 1024, number)) {
                bad("--max-body needs a number of bytes from 1 to 1073741824, not \"" + value + "\"");
                return std::nullopt;
            }
            options.max_body = static_cast<std::size_t>(number);
            ++i;
        } else if (arg == "--rate" && has_value) {
            if (!parse_number(value, 0, 1e9, number)) {
                bad("--rate needs a number of requests per second (0 for no limit), not \"" + value + "\"");
                return std::nullopt;
            }
            options.rate = number;
            ++i;
        } else if (arg == "--burst" && has_value) {
            if (!parse_number(value, 1, 1e9, number)) {
                bad("--burst needs a number of requests of at least 1, not \"" + value + "\"");
                return std::nullopt;
            }
            options.burst = number;
            ++i;
        } else if (arg == "--threads" && has_value) {
            if (!parse_number(value, 1, 1024, number) || number != std::floor(number)) {
                bad("--threads needs a whole number from 1 to 1024, not \"" + value + "\"");
                return std::nullopt;
            }
            options.threads = static_cast<int>(number);
            ++i;
        } else if (arg == "--per-address" && has_value) {
            if (!parse_number(value, 1, 65535, number) || number != std::floor(number)) {
                bad("--per-address needs a whole number from 1 to 65535, not \"" + value + "\"");
                return std::nullopt;
            }
            options.per_address = static_cast<int>(number);
            ++i;
        } else if (arg == "--new-token" && has_value) {
            options.new_token = value;
            ++i;
        } else {
            bad("unknown option, or an option without its value: \"" + arg + "\"");
            return std::nullopt;
        }
    }
    if (options.cert_file.empty() != options.key_file.empty()) {
        bad("--cert and --key go together");
        return std::nullopt;
    }
    return options;
}
