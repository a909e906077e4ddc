#include "modemsim/simulator.h"

#include "modemsim/control.h"
#include "modemsim/control_socket.h"
#include "modemsim/pty_link.h"
#include "modemsim/text_escape.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// The stopping signals arrive as readable events, so they end the loop between two answers and the
// link and socket are always removed.
int stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

std::string format_reply(const ControlReply& reply) {
    std::string text;
    for (const std::string& line : reply.lines) {
        text += line + "\n";
    }
    return text + (reply.ok ? "OK\n" : "ERROR: " + escape_line_text(reply.error) + "\n");
}

class Simulator {
public:
    Simulator(const SimulatorOptions& options, SubmissionLog& log) : modem_(options.profile, log), log_(log) {}

    int run(PtyLink& pty, ControlServer* control, int signals);

private:
    // False when the line broke, which a held device never should.
    bool take_input(PtyLink& pty);
    std::string control_command(const std::string& line);

    Modem modem_;
    SubmissionLog& log_;
    bool quit_ = false;
};

bool Simulator::take_input(PtyLink& pty) {
    std::string data;
    for (;;) {
        switch (pty.read(data)) {
        case PtyLink::Input::Data:
            pty.send(modem_.receive(data));
            break;
        case PtyLink::Input::Nothing:
            return true;
        default:
            return false;
        }
    }
}

std::string Simulator::control_command(const std::string& line) {
    ControlReply reply = run_control(split_control_words(line), modem_, log_);
    quit_ = quit_ || reply.quit;
    return format_reply(reply);
}

int Simulator::run(PtyLink& pty, ControlServer* control, int signals) {
    auto handle = [this](const std::string& line) { return control_command(line); };
    while (!quit_) {
        std::vector<pollfd> fds = {{signals, POLLIN, 0},
                                   {pty.fd(), static_cast<short>(POLLIN | (pty.has_output() ? POLLOUT : 0)), 0},
                                   {pty.watch_fd(), POLLIN, 0}};
        if (control) {
            control->add_poll_fds(fds);
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("vmsms-modemsim: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            break;
        }
        // Input before the close notices: what the gateway wrote just before letting go of the port
        // still reaches the modem, as it would over a real line.
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !take_input(pty)) {
            std::fprintf(stderr, "vmsms-modemsim: the line to %s broke\n", pty.device().c_str());
            return 1;
        }
        if (fds[1].revents & POLLOUT) {
            pty.write_pending();
        }
        if ((fds[2].revents & POLLIN) && pty.port_released()) {
            modem_.reset_input();
        }
        if (control) {
            control->serve(fds, handle);
        }
    }
    if (control) {
        control->flush();
    }
    return 0;
}

} // namespace

int run_simulator(const SimulatorOptions& options) {
    SubmissionLog log;
    if (!options.record.empty() && !log.open(options.record)) {
        std::fprintf(stderr, "vmsms-modemsim: cannot write %s\n", options.record.c_str());
        return 1;
    }
    int signals = stop_signals();
    std::string error;
    auto pty = PtyLink::create(options.link, error);
    std::unique_ptr<ControlServer> control;
    if (pty && !options.control.empty()) {
        control = ControlServer::listen(options.control, error);
    }
    if (signals < 0 || !pty || (!options.control.empty() && !control)) {
        std::fprintf(stderr, "vmsms-modemsim: %s\n", signals < 0 ? "cannot take signals" : error.c_str());
        return 1;
    }
    std::printf("ready %s\n", pty->device().c_str());
    std::fflush(stdout);
    int status = Simulator(options, log).run(*pty, control.get(), signals);
    ::close(signals);
    return status;
}
