#include "modemsim/control.h"
#include "modemsim/control_socket.h"
#include "modemsim/simulator.h"
#include "platform/program_info.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "usage: vmsms-modemsim --link PATH [--control SOCKET] [--record FILE] [--blank-line-listing]\n"
    "                      [--no-echo] [--ignore-length] [--capacity N] [--submit-latency MS]\n"
    "                      [--report-delay MS] [--no-indications]\n"
    "       vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]\n"
    "       vmsms-modemsim --help | --version\n"
    "options:  --submit-latency MS        the answer to a submission comes MS milliseconds (0 to 60000)\n"
    "                                     after its Ctrl-Z; what is written meanwhile waits for it\n"
    "          --report-delay MS          a status report comes MS milliseconds (0 to 60000, default\n"
    "                                     1000) after the answer to the submission that asked for it\n"
    "          --no-indications           AT+CNMI answers +CMS ERROR: 303: no new message is announced\n"
    "commands: deliver --from NUMBER --text TEXT [--7bit|--ucs2] [--smsc NUMBER|--no-smsc] [--time STAMP]\n"
    "                  [--parts auto|K [--ref R] [--ref16] [--order 3,1,2] [--drop 2] [--duplicate 1]]\n"
    "                                     --parts: a long message in parts, each with its concatenation\n"
    "                                     header (even when one part holds it all): as many as the text\n"
    "                                     needs (153 septets or 67 UCS-2 characters each, one fewer with\n"
    "                                     --ref16) or K parts as even as they go; --ref: the reference\n"
    "                                     (default a new one); --ref16: a 16-bit reference; --order:\n"
    "                                     the order the parts are stored in; --drop: parts left out;\n"
    "                                     --duplicate: parts stored twice. Prints the slots taken\n"
    "          deliver --pdu HEX\n"
    "          fault none                 clear every fault (plugs the modem back in when unplugged)\n"
    "          fault silent|error|reject|endless-listing|garbage [--for SECONDS]\n"
    "                                     silent: no answer, not even echo; error: sends fail with\n"
    "                                     +CMS ERROR: 500; reject: every command ERROR; endless-listing:\n"
    "                                     AT+CMGL streams entries and never ends; garbage: random bytes\n"
    "                                     for answers; --for: lifts by itself after that time\n"
    "          fault fail COUNT           the next COUNT sends fail\n"
    "          fault garbage --count N    send N random bytes once, unasked\n"
    "          fault unplug [--for SECONDS]\n"
    "                                     close the pseudo-terminal and remove the link; --for: plug\n"
    "                                     back in by itself after that time\n"
    "          fault replug               a new pseudo-terminal at the same link; prints its device\n"
    "          layout usual|blank-line\n"
    "          latency MS                 submissions from now on take MS milliseconds (0 to 60000)\n"
    "          reports delivered|failed|none\n"
    "                                     the status report a submission asking for one gets (failed:\n"
    "                                     status 41, incompatible destination; none: no report); as\n"
    "                                     AT+CNMI's ds asks, +CDS (1), or kept and announced by +CDSI (2)\n"
    "                                     or kept unannounced (0)\n"
    "          network RSSI STAT          AT+CSQ answers RSSI (0 to 31, 99 not known; default 25) and\n"
    "                                     AT+CREG? the registration STAT (0 to 5; default 1, home)\n"
    "          report-delay MS            reports of later submissions come MS milliseconds after\n"
    "          sent                       the submissions, one line each, long messages' parts marked\n"
    "          messages                   the submitted messages with their parts put together\n"
    "          stored | status | clear | quit\n";

int usage_error(const char* why, const char* what) {
    std::fprintf(stderr, "vmsms-modemsim: %s%s\n%s", why, what, usage);
    return 2;
}

bool parse_capacity(const char* text, int& capacity) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 1000) {
        return false;
    }
    capacity = static_cast<int>(value);
    return true;
}

int simulator_main(int argc, char** argv) {
    SimulatorOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(arg, "--blank-line-listing") == 0) {
            options.profile.blank_line_listing = true;
        } else if (std::strcmp(arg, "--no-echo") == 0) {
            options.profile.echo = false;
        } else if (std::strcmp(arg, "--ignore-length") == 0) {
            options.profile.check_length = false;
        } else if (std::strcmp(arg, "--no-indications") == 0) {
            options.profile.indications = false;
        } else if (!value) {
            return usage_error("unknown option or missing value: ", arg);
        } else if (std::strcmp(arg, "--link") == 0) {
            options.link = argv[++i];
        } else if (std::strcmp(arg, "--control") == 0) {
            options.control = argv[++i];
        } else if (std::strcmp(arg, "--record") == 0) {
            options.record = argv[++i];
        } else if (std::strcmp(arg, "--capacity") == 0) {
            if (!parse_capacity(argv[++i], options.profile.capacity)) {
                return usage_error("the capacity is 1 to 1000 messages, not ", argv[i]);
            }
        } else if (std::strcmp(arg, "--submit-latency") == 0) {
            auto latency = parse_submit_latency(argv[++i]);
            if (!latency) {
                return usage_error("the submit latency is 0 to 60000 milliseconds, not ", argv[i]);
            }
            options.submit_latency = *latency;
        } else if (std::strcmp(arg, "--report-delay") == 0) {
            auto delay = parse_submit_latency(argv[++i]);
            if (!delay) {
                return usage_error("the report delay is 0 to 60000 milliseconds, not ", argv[i]);
            }
            options.report_delay = *delay;
        } else {
            return usage_error("unknown option: ", arg);
        }
    }
    if (options.link.empty()) {
        return usage_error("--link is required", "");
    }
    return run_simulator(options);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "ctl") != 0) {
        if (std::optional<int> status = common_options("vmsms-modemsim", argc, argv, usage, false)) {
            return *status;
        }
    }
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) {
        if (argc < 4) {
            return usage_error("ctl needs a socket and a command", "");
        }
        return run_control_client(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    return simulator_main(argc, argv);
}
