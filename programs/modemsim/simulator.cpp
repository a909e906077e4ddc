#include "modemsim/simulator.h"

#include "modemsim/control.h"
#include "modemsim/control_socket.h"
#include "modemsim/network_time.h"
#include "modemsim/pty_link.h"
#include "modemsim/text_escape.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

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

class Simulator : public LineControl {
public:
    Simulator(const SimulatorOptions& options, SubmissionLog& log, std::unique_ptr<PtyLink> pty)
        : modem_(options.profile, log), log_(log), link_(options.link), pty_(std::move(pty)),
          latency_(options.submit_latency), report_delay_(options.report_delay) {}

    int run(ControlServer* control, int signals);

    bool plugged() const override { return pty_ != nullptr; }
    std::string device() const override { return pty_ ? pty_->device() : std::string(); }
    void unplug(std::optional<std::chrono::milliseconds> back_after) override;
    bool replug(std::string& error) override;
    void move_link(const std::string& path) override { link_ = path; }
    void end_fault_after(std::optional<std::chrono::milliseconds> after) override;
    void send_unasked(std::string_view bytes) override;
    std::chrono::milliseconds submit_latency() const override { return latency_; }
    void set_submit_latency(std::chrono::milliseconds latency) override { latency_ = latency; }
    std::chrono::milliseconds report_delay() const override { return report_delay_; }
    void set_report_delay(std::chrono::milliseconds delay) override { report_delay_ = delay; }
    size_t reports_waiting() const override { return reports_.size(); }

private:
    using Clock = std::chrono::steady_clock;

    // False when the line broke, which a held device never should.
    bool take_input();
    // Hands the modem what the gateway wrote, up to a submission whose answer has to wait.
    void work_input();
    // A reboot the gateway asked for: the line goes for a few seconds and the modem comes back,
    // saying it booted.
    void reboot_if_asked();
    void reboot();
    // Forgets a submission under way: its answer and whatever the gateway wrote meanwhile are lost.
    void drop_submission();
    std::string control_command(const std::string& line);
    // Schedules the status reports owed for the submissions the modem just accepted, `report_delay_`
    // after their answer went or goes out at `answered`.
    void schedule_reports(Clock::time_point answered);
    void send_due_reports(Clock::time_point now);
    void run_timers();
    // Until the next timer is due, for poll: -1 when none is set.
    int poll_timeout() const;

    Modem modem_;
    SubmissionLog& log_;
    std::string link_;
    std::unique_ptr<PtyLink> pty_; // null while unplugged
    std::optional<Clock::time_point> replug_at_;
    bool boot_lines_due_ = false; // the next plugging in is the end of a reboot
    bool reboot_due_ = false;     // asked for by the modem's input; done between two rounds of events
    std::optional<Clock::time_point> fault_ends_at_;
    Clock::time_point trickle_at_{}; // when a trickling listing sends its next piece
    bool quit_ = false;

    // A submission under way: the modem has the PDU, the network has not answered yet. The answer
    // is made when the PDU ends but goes out only when due; input that arrives meanwhile waits
    // unread by the modem, as a modem busy with the network leaves it in its buffer.
    std::chrono::milliseconds latency_;
    std::optional<Clock::time_point> answer_due_;
    std::string held_answer_;
    std::string input_; // written by the gateway, not yet taken by the modem

    // Status reports the network owes, in the order their submissions were accepted. A report is the
    // network's business: neither a closed port nor a pulled cable stops it coming.
    struct DueReport {
        Clock::time_point due;
        ReportRequest request;
    };
    std::chrono::milliseconds report_delay_;
    std::vector<DueReport> reports_;
};

// More than a gateway ever writes while it waits for an answer; beyond it input is lost, as a
// modem's buffer would overflow.
constexpr size_t input_limit = 64 * 1024;

void Simulator::unplug(std::optional<std::chrono::milliseconds> back_after) {
    // Closing the master end hangs the gateway's descriptor up, as a vanished USB device does, and
    // takes the device node with it; our link goes as well.
    pty_.reset();
    // The cable carried the modem's power too: a submission under way is gone with it.
    modem_.restart();
    drop_submission();
    replug_at_.reset();
    if (back_after) {
        replug_at_ = Clock::now() + *back_after;
    }
}

bool Simulator::replug(std::string& error) {
    replug_at_.reset();
    pty_ = PtyLink::create(link_, error);
    if (pty_ && boot_lines_due_) {
        boot_lines_due_ = false;
        pty_->send(modem_.boot_lines());
    }
    return pty_ != nullptr;
}

// How long a reboot keeps the modem away: about what a USB modem takes to come back.
constexpr std::chrono::milliseconds reboot_time{3000};

void Simulator::reboot_if_asked() {
    if (modem_.take_reboot()) {
        reboot_due_ = true; // not now: the line this input came on is still in use
    }
}

void Simulator::reboot() {
    reboot_due_ = false;
    std::fprintf(stderr, "vmsms-modemsim: rebooting\n");
    modem_.set_fault(Fault::None);
    fault_ends_at_.reset();
    unplug(reboot_time);
    boot_lines_due_ = true;
}

void Simulator::end_fault_after(std::optional<std::chrono::milliseconds> after) {
    fault_ends_at_.reset();
    if (after) {
        fault_ends_at_ = Clock::now() + *after;
    }
}

void Simulator::send_unasked(std::string_view bytes) {
    if (pty_) {
        pty_->send(bytes);
    }
}

void Simulator::drop_submission() {
    answer_due_.reset();
    held_answer_.clear();
    input_.clear();
}

void Simulator::schedule_reports(Clock::time_point answered) {
    for (ReportRequest& request : modem_.take_report_requests()) {
        request.submitted_at = network_time_stamp();
        reports_.push_back(DueReport{answered + report_delay_, std::move(request)});
    }
}

void Simulator::send_due_reports(Clock::time_point now) {
    std::vector<DueReport> due;
    auto keep = std::stable_partition(reports_.begin(), reports_.end(),
                                      [now](const DueReport& report) { return report.due > now; });
    due.assign(std::make_move_iterator(keep), std::make_move_iterator(reports_.end()));
    reports_.erase(keep, reports_.end());
    for (const DueReport& report : due) {
        ReportRouting routing = modem_.report_status(report.request, network_time_stamp());
        send_unasked(routing.unasked);
        if (routing.lost) {
            std::fprintf(stderr, "vmsms-modemsim: the message memory is full: the status report on %d is lost\n",
                         report.request.reference);
        }
    }
}

void Simulator::run_timers() {
    if (reboot_due_) {
        reboot();
    }
    auto now = Clock::now();
    send_due_reports(now);
    if (answer_due_ && *answer_due_ <= now) {
        answer_due_.reset();
        if (pty_) {
            pty_->send(held_answer_);
        }
        held_answer_.clear();
        work_input();
    }
    if (fault_ends_at_ && *fault_ends_at_ <= now) {
        fault_ends_at_.reset();
        modem_.set_fault(Fault::None);
    }
    if (replug_at_ && *replug_at_ <= now) {
        std::string error;
        if (!replug(error)) {
            // Left unplugged: "fault replug" or "fault none" can try again.
            std::fprintf(stderr, "vmsms-modemsim: cannot plug back in: %s\n", error.c_str());
        }
    }
}

int Simulator::poll_timeout() const {
    if (reboot_due_) {
        return 0;
    }
    std::optional<Clock::time_point> next;
    std::optional<Clock::time_point> trickle;
    if (pty_ && modem_.streaming() && modem_.trickling()) {
        trickle = trickle_at_;
    }
    for (const auto& due : {replug_at_, fault_ends_at_, answer_due_, trickle}) {
        if (due && (!next || *due < *next)) {
            next = due;
        }
    }
    for (const DueReport& report : reports_) {
        if (!next || report.due < *next) {
            next = report.due;
        }
    }
    if (!next) {
        return -1;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60 * 1000));
}

bool Simulator::take_input() {
    std::string data;
    for (;;) {
        switch (pty_->read(data)) {
        case PtyLink::Input::Data:
            if (input_.size() + data.size() <= input_limit) {
                input_ += data;
            } else {
                std::fprintf(stderr, "vmsms-modemsim: busy with a submission, %zu bytes of input lost\n", data.size());
            }
            work_input();
            break;
        case PtyLink::Input::Nothing:
            return true;
        default:
            return false;
        }
    }
}

void Simulator::work_input() {
    while (pty_ && !answer_due_ && !input_.empty()) {
        if (latency_.count() == 0) {
            pty_->send(modem_.receive(input_));
            input_.clear();
            schedule_reports(Clock::now());
            reboot_if_asked();
            return;
        }
        size_t taken = 0;
        pty_->send(modem_.receive_up_to_submission(input_, taken));
        input_.erase(0, taken);
        if (!input_.empty()) {
            // The byte that submits: the echo before it has gone, its answer waits for the network.
            held_answer_ = modem_.receive(std::string_view(input_).substr(0, 1));
            input_.erase(0, 1);
            answer_due_ = Clock::now() + latency_;
            schedule_reports(*answer_due_);
        }
        reboot_if_asked();
    }
}

std::string Simulator::control_command(const std::string& line) {
    ControlReply reply = run_control(split_control_words(line), modem_, log_, *this);
    quit_ = quit_ || reply.quit;
    return format_reply(reply);
}

int Simulator::run(ControlServer* control, int signals) {
    auto handle = [this](const std::string& line) { return control_command(line); };
    while (!quit_) {
        run_timers();
        // An endless listing goes out as fast as the line takes it: a new piece each time the last
        // one has gone, so the control socket is served between the pieces.
        bool streaming = pty_ && modem_.streaming();
        if (streaming && !pty_->has_output() && (!modem_.trickling() || Clock::now() >= trickle_at_)) {
            pty_->send(modem_.stream_more());
            trickle_at_ = Clock::now() + std::chrono::milliseconds(Modem::trickle_interval_ms);
        }
        // A trickle waits for its next piece's time, not for the line to take more.
        streaming = streaming && !modem_.trickling();
        std::vector<pollfd> fds = {{signals, POLLIN, 0}};
        PtyLink* pty = pty_.get(); // the line this round's events are about
        if (pty) {
            short events = static_cast<short>(POLLIN | (pty->has_output() || streaming ? POLLOUT : 0));
            fds.push_back({pty->fd(), events, 0});
            fds.push_back({pty->watch_fd(), POLLIN, 0});
        }
        if (control) {
            control->add_poll_fds(fds);
        }
        if (::poll(fds.data(), fds.size(), poll_timeout()) < 0) {
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
        if (pty && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !take_input()) {
            std::fprintf(stderr, "vmsms-modemsim: the line to %s broke\n", pty->device().c_str());
            return 1;
        }
        if (pty && (fds[1].revents & POLLOUT)) {
            pty->write_pending();
        }
        if (pty && (fds[2].revents & POLLIN) && pty->port_released()) {
            // The answer to a submission under way, and what the gateway wrote after it, went with
            // the session: a new one must not start with them (unless the modem keeps what was typed).
            if (!modem_.keeps_input_on_release()) {
                modem_.reset_input();
            }
            drop_submission();
        }
        // Last: a command may unplug the line the events above were about.
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
    int status = Simulator(options, log, std::move(pty)).run(control.get(), signals);
    ::close(signals);
    return status;
}
