#include "support/run_program.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Feeds `input` and drains both outputs together, so a chatty program cannot block on a full pipe.
void pump(int in_fd, const std::string& input, int out_fd, int err_fd, ProgramResult& r) {
    size_t written = 0;
    if (input.empty()) {
        ::close(in_fd);
        in_fd = -1;
    }
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {in_fd, POLLOUT, 0}};
        ::poll(fds, 3, -1);
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? out_fd : err_fd;
            if (fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[4096];
                ssize_t n = ::read(fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fd);
                    fd = -1;
                } else {
                    (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
                }
            }
        }
        if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = ::write(in_fd, input.data() + written, input.size() - written);
            if (n <= 0 || (written += static_cast<size_t>(n)) == input.size()) {
                ::close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0) {
        ::close(in_fd);
    }
}

} // namespace

void exec_in_child(const std::string& path, const std::vector<std::string>& args, int in, int out, int err) {
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
}

ProgramResult run_program(const std::string& path, const std::vector<std::string>& args, const std::string& input) {
    ProgramResult r;
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        return r;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        exec_in_child(path, args, in[0], out[1], err[1]);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    pump(in[1], input, out[0], err[0], r);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
