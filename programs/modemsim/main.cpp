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

// What an error in the options shows.
const char synopsis[] = "usage: vmsms-modemsim --link PATH [--control SOCKET] [--record FILE] [--blank-line-listing]\n"
                        "                      [--no-echo] [--ignore-length] [--capacity N] [--submit-latency MS]\n"
                        "                      [--report-delay MS] [--no-indications]\n"
                        "       vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]\n"
                        "       vmsms-modemsim --help | --version\n";

const char help_text[] =
    "usage: vmsms-modemsim --link PATH [OPTION]...\n"
    "       vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]\n"
    "\n"
    "A simulated GSM modem in PDU mode, for trying and testing the gateway without hardware. It answers\n"
    "AT commands on a pseudo-terminal linked at PATH, which the gateway opens as its port (COM=PATH in\n"
    "server.txt). It prints \"ready DEVICE\" once the link and the control socket are in place, and runs\n"
    "until SIGINT, SIGTERM, SIGHUP or the control command quit; then it removes both.\n"
    "\n"
    "  --link PATH            link the pseudo-terminal at PATH, replacing whatever is there (required)\n"
    "  --control SOCKET       take the control commands below on a UNIX socket at SOCKET; a stale socket\n"
    "                         file there is replaced, one another simulator answers on is an error\n"
    "  --record FILE          write every PDU the gateway submits to FILE, one decoded line each, as the\n"
    "                         control command sent shows them; FILE is emptied at start\n"
    "  --blank-line-listing   put a blank line between the echo of AT+CMGL and its entries, as Wavecom\n"
    "                         modems do (the control command layout changes it while running)\n"
    "  --no-echo              start with the echo off, as after ATE0; ATZ and AT&F return to it\n"
    "  --ignore-length        take a PDU whose length differs from the one AT+CMGS announced, instead of\n"
    "                         refusing it with +CMS ERROR: 304\n"
    "  --capacity N           the message memory holds N messages (1 to 1000, default 30): delivered\n"
    "                         ones and status reports kept for the gateway to list\n"
    "  --submit-latency MS    the answer to a submission comes MS milliseconds (0 to 60000, default 0)\n"
    "                         after its Ctrl-Z; what is written meanwhile waits for it\n"
    "  --report-delay MS      a status report comes MS milliseconds (0 to 60000, default 1000) after the\n"
    "                         answer to the submission that asked for it\n"
    "  --no-indications       AT+CNMI answers +CMS ERROR: 303: no new message is announced, and the\n"
    "                         gateway has to list the memory to find them\n"
    "  --help                 show this text and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Control commands (vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]):\n"
    "  deliver --from NUMBER --text TEXT [OPTION]...\n"
    "                         store a message from NUMBER in the memory and announce it as AT+CNMI\n"
    "                         asks; prints the slots taken. --7bit or --ucs2: the coding (default 7bit\n"
    "                         for ASCII text, else ucs2); --smsc NUMBER or --no-smsc: the service\n"
    "                         centre address (default +8613800000500); --time STAMP: the network's\n"
    "                         time stamp, 14 digits YYMMDDhhmmsszz (default now)\n"
    "  deliver ... --parts auto|K [--ref R] [--ref16] [--order 3,1,2] [--drop 2] [--duplicate 1]\n"
    "                         a long message in parts, each with its concatenation header (even when\n"
    "                         one part holds it all): as many as the text needs (153 septets or 67\n"
    "                         UCS-2 characters each, one fewer with --ref16) or K parts as even as\n"
    "                         they go; --ref: the reference (default a new one); --ref16: a 16-bit\n"
    "                         reference; --order: the order the parts are stored in; --drop: parts\n"
    "                         left out; --duplicate: parts stored twice\n"
    "  deliver --pdu HEX      store the PDU HEX as it is\n"
    "  fault none             clear every fault (plugs the modem back in when unplugged)\n"
    "  fault silent|error|reject|endless-listing|garbage [--for SECONDS]\n"
    "                         silent: no answer, not even echo; error: sends fail with +CMS ERROR:\n"
    "                         500; reject: every command answers ERROR; endless-listing: AT+CMGL\n"
    "                         streams entries and never ends; garbage: random bytes for answers;\n"
    "                         --for: the fault lifts by itself after that time\n"
    "  fault fail COUNT       the next COUNT sends fail with +CMS ERROR: 500\n"
    "  fault garbage --count N\n"
    "                         send N random bytes once, unasked\n"
    "  fault unplug [--for SECONDS]\n"
    "                         close the pseudo-terminal and remove the link, as a pulled cable does;\n"
    "                         --for: plug back in by itself after that time\n"
    "  fault replug           a new pseudo-terminal at the same link; prints its device\n"
    "  layout usual|blank-line\n"
    "                         list without or with the blank line of --blank-line-listing\n"
    "  latency MS             submissions from now on take MS milliseconds (0 to 60000)\n"
    "  report-delay MS        reports of later submissions come MS milliseconds after their answer\n"
    "  reports delivered|failed|none\n"
    "                         the status report a submission asking for one gets (failed: status 41,\n"
    "                         incompatible destination; none: no report); as AT+CNMI's ds asks, +CDS\n"
    "                         (1), or kept and announced by +CDSI (2) or kept unannounced (0)\n"
    "  network RSSI STAT      AT+CSQ answers RSSI (0 to 31, 99 not known; default 25) and AT+CREG? the\n"
    "                         registration STAT (0 to 5; default 1, home)\n"
    "  sent                   the submissions, one line each, long messages' parts marked\n"
    "  messages               the submitted messages with their parts put together\n"
    "  stored                 the messages in the memory: slot, status, length and PDU\n"
    "  status                 the fault, the memory, the line, the latency, the indications and the\n"
    "                         reports, in a few lines\n"
    "  clear                  empty the memory and forget the submissions (the record file keeps them)\n"
    "  quit                   end the simulator\n"
    "A command's output ends with a line OK, or with ERROR: and the reason (exit status 1); the exit\n"
    "status is 2 when the simulator cannot be reached.\n";

int usage_error(const char* why, const char* what) {
    std::fprintf(stderr, "vmsms-modemsim: %s%s\n%s", why, what, synopsis);
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
        if (std::optional<int> status = common_options("vmsms-modemsim", argc, argv, help_text, false)) {
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
