#include "modemsim/control.h"
#include "modemsim/control_socket.h"
#include "modemsim/simulator.h"
#include "platform/program_options.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// What an error in the options shows.
const char synopsis[] = "usage: vmsms-modemsim --link PATH [--control SOCKET] [--record FILE] [--blank-line-listing]\n"
                        "                      [--no-echo] [--ignore-length] [--capacity N] [--submit-latency MS]\n"
                        "                      [--report-delay MS] [--no-indications] [--keep-input-on-release]\n"
                        "       vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]\n"
                        "       vmsms-modemsim --help | --version\n";

const char help_head[] =
    "usage: vmsms-modemsim --link PATH [OPTION]...\n"
    "       vmsms-modemsim ctl SOCKET COMMAND [ARGUMENT...]\n"
    "\n"
    "A simulated GSM modem in PDU mode, for trying and testing the gateway without hardware. It answers\n"
    "AT commands on a pseudo-terminal linked at PATH, which the gateway opens as its port (COM=PATH in\n"
    "server.txt). It prints \"ready DEVICE\" once the link and the control socket are in place, and runs\n"
    "until SIGINT, SIGTERM, SIGHUP or the control command quit; then it removes both.\n"
    "\n";

const char help_tail[] =
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
    "  deliver ... --memory SM|ME\n"
    "                         put the message straight into that memory, unannounced (as one stored\n"
    "                         before); without it a message goes to the receiving memory AT+CPMS\n"
    "                         chose, and while that is full the network holds it (prints held N; the\n"
    "                         modem says ^SMMEMFULL: \"SM\" when indications are on) and delivers it\n"
    "                         once a slot frees\n"
    "  fault none             clear every fault (plugs the modem back in when unplugged)\n"
    "  fault silent|error|reject|endless-listing|trickling-listing|garbage [--for SECONDS]\n"
    "                         silent: no answer, not even echo; error: sends fail with +CMS ERROR:\n"
    "                         500; reject: every command answers ERROR; endless-listing: AT+CMGL\n"
    "                         streams entries and never ends; trickling-listing: the same, 40 bytes\n"
    "                         every 200 ms; garbage: random bytes for answers;\n"
    "                         --for: the fault lifts by itself after that time\n"
    "  fault fail COUNT       the next COUNT sends fail with +CMS ERROR: 500\n"
    "  fault garbage --count N\n"
    "                         send N random bytes once, unasked\n"
    "  fault unplug [--for SECONDS]\n"
    "                         close the pseudo-terminal and remove the link, as a pulled cable does;\n"
    "                         --for: plug back in by itself after that time\n"
    "  fault replug [--at PATH]\n"
    "                         a new pseudo-terminal at the same link (or at PATH from now on, as a USB\n"
    "                         modem coming back under another name); prints its device\n"
    "  fault hung             no echo, no answer; only AT+CFUN=1,1 still reboots the modem, which then\n"
    "                         is away for 3 s and prints RDY, +CPIN: ... and SMS DONE when back\n"
    "  fault hang-delete      AT+CMGD is echoed and never answered, and deletes nothing; every other\n"
    "                         command is answered (a modem hanging between a message's storing and\n"
    "                         its deletion)\n"
    "  layout usual|blank-line\n"
    "                         list without or with the blank line of --blank-line-listing\n"
    "  latency MS             submissions from now on take MS milliseconds (0 to 60000)\n"
    "  release keep|clear     whether a command or PDU typed and not ended stays when the gateway\n"
    "                         closes the port (keep, as real modems do) or is cleared (the default)\n"
    "  report-delay MS        reports of later submissions come MS milliseconds after their answer\n"
    "  reports delivered|failed|none\n"
    "                         the status report a submission asking for one gets (failed: status 41,\n"
    "                         incompatible destination; none: no report); as AT+CNMI's ds asks, +CDS\n"
    "                         (1), or kept and announced by +CDSI (2) or kept unannounced (0)\n"
    "  network RSSI STAT      AT+CSQ answers RSSI (0 to 31, 99 not known; default 25) and AT+CREG? the\n"
    "                         registration STAT (0 to 5; default 1, home); unless registered (1 or 5)\n"
    "                         every send command answers +CMS ERROR: 331 (no network service)\n"
    "  sim ready|pin CODE|puk|missing|failure\n"
    "                         the SIM: ready; locked behind CODE at every power-up (3 tries, then its\n"
    "                         PUK); asking for its PUK; not inserted; failed. Messages wait for a ready\n"
    "                         SIM (+CMS ERROR: 311 and the like)\n"
    "  identity IMEI ICCID    what AT+CGSN and AT+CCID answer\n"
    "  storage SM SLOTS [ME SLOTS]\n"
    "                         the memories: the SIM and the phone's own, 1 to 255 slots each (default\n"
    "                         SM alone, --capacity slots); AT+CPMS selects them, answering with their\n"
    "                         counts\n"
    "  storage delete-error COUNT|always|none\n"
    "                         the next COUNT deletions (or every one) answer +CMS ERROR: 320 and\n"
    "                         leave the message\n"
    "  storage relist COUNT|always|none\n"
    "                         the next COUNT deletions of a message (or every one) answer OK and leave\n"
    "                         it in its slot, so that the next listing holds it again\n"
    "  sent                   the submissions, one line each, long messages' parts marked\n"
    "  messages               the submitted messages with their parts put together\n"
    "  destinations           each submission's destination: its type of address (129 national, 145\n"
    "                         international) and digits\n"
    "  stored                 the messages in the memory: slot, status, length and PDU (and the\n"
    "                         memory, when there are two)\n"
    "  status                 the fault, the memory, the line, the latency, the indications and the\n"
    "                         reports, in a few lines; the last one the memories, their selection\n"
    "                         (read, write, receive), the messages the network holds and the delete\n"
    "                         faults\n"
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

OptionSpec path_option(std::string name, std::string argument, std::string help, std::string& target) {
    return argument_option(std::move(name), std::move(argument), std::move(help), [&target](const std::string& path) {
        target = path;
        return std::string();
    });
}

OptionSpec set_option(std::string name, std::string help, bool& target, bool value) {
    return flag_option(std::move(name), std::move(help), [&target, value] { target = value; });
}

// Milliseconds from 0 to 60000 into `target`; `problem` says what they must be.
OptionSpec milliseconds_option(std::string name, std::string help, std::string problem,
                               std::chrono::milliseconds& target) {
    return argument_option(std::move(name), "MS", std::move(help), [problem, &target](const std::string& text) {
        auto milliseconds = parse_submit_latency(text);
        if (!milliseconds) {
            return problem;
        }
        target = *milliseconds;
        return std::string();
    });
}

ProgramSpec simulator_spec(SimulatorOptions& options) {
    ModemProfile& profile = options.profile;
    ProgramSpec spec;
    spec.program = "vmsms-modemsim";
    spec.help_head = help_head;
    spec.help_tail = help_tail;
    spec.help_column = 25;
    spec.options = {
        path_option("--link", "PATH", "link the pseudo-terminal at PATH, replacing whatever is there (required)",
                    options.link),
        path_option("--control", "SOCKET",
                    "take the control commands below on a UNIX socket at SOCKET; a stale socket\n"
                    "file there is replaced, one another simulator answers on is an error",
                    options.control),
        path_option("--record", "FILE",
                    "write every PDU the gateway submits to FILE, one decoded line each, as the\n"
                    "control command sent shows them; FILE is emptied at start",
                    options.record),
        set_option("--blank-line-listing",
                   "put a blank line between the echo of AT+CMGL and its entries, as Wavecom\n"
                   "modems do (the control command layout changes it while running)",
                   profile.blank_line_listing, true),
        set_option("--keep-input-on-release",
                   "keep a command or PDU typed and not ended when the gateway closes the port, as\n"
                   "real modems do (the control command release changes it while running)",
                   profile.keep_input_on_release, true),
        set_option("--no-echo", "start with the echo off, as after ATE0; ATZ and AT&F return to it", profile.echo,
                   false),
        set_option("--ignore-length",
                   "take a PDU whose length differs from the one AT+CMGS announced, instead of\n"
                   "refusing it with +CMS ERROR: 304",
                   profile.check_length, false),
        argument_option("--capacity", "N",
                        "the message memory holds N messages (1 to 1000, default {default}): delivered\n"
                        "ones and status reports kept for the gateway to list",
                        [&profile](const std::string& text) {
                            return parse_capacity(text.c_str(), profile.capacity)
                                       ? std::string()
                                       : std::string("the capacity is 1 to 1000 messages");
                        })
            .defaults_to("30"),
        milliseconds_option("--submit-latency",
                            "the answer to a submission comes MS milliseconds (0 to 60000, default {default})\n"
                            "after its Ctrl-Z; what is written meanwhile waits for it",
                            "the submit latency is 0 to 60000 milliseconds", options.submit_latency)
            .defaults_to("0"),
        milliseconds_option("--report-delay",
                            "a status report comes MS milliseconds (0 to 60000, default {default}) after the\n"
                            "answer to the submission that asked for it",
                            "the report delay is 0 to 60000 milliseconds", options.report_delay)
            .defaults_to("1000"),
        set_option("--no-indications",
                   "AT+CNMI answers +CMS ERROR: 303: no new message is announced, and the\n"
                   "gateway has to list the memory to find them",
                   profile.indications, false),
        help_option(),
        version_option(),
    };
    return spec;
}

int bad_line(const CommandLineError& error) {
    switch (error.kind) {
    case CommandLineError::Kind::UnknownOption:
        if (error.followed) {
            return usage_error("unknown option: ", error.word.c_str());
        }
        [[fallthrough]];
    case CommandLineError::Kind::MissingArgument:
    case CommandLineError::Kind::BadOperand:
        return usage_error("unknown option or missing value: ", error.word.c_str());
    case CommandLineError::Kind::BadArgument:
        break;
    }
    return usage_error((error.problem + ", not ").c_str(), error.argument.c_str());
}

int simulator_main(int argc, char** argv) {
    SimulatorOptions options;
    ProgramSpec spec = simulator_spec(options);
    CommandLine line = read_command_line(spec, argc, argv);
    if (std::optional<int> status = settle_common_options(spec, line)) {
        return *status;
    }
    if (line.error) {
        return bad_line(*line.error);
    }
    if (options.link.empty()) {
        return usage_error("--link is required", "");
    }
    return run_simulator(options);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) {
        if (argc < 4) {
            return usage_error("ctl needs a socket and a command", "");
        }
        return run_control_client(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    return simulator_main(argc, argv);
}
