#include "support/background_program.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

BackgroundProgram::BackgroundProgram(const std::string& path, const std::vector<std::string>& args,
                                     const std::string& output_file) {
    pid_ = ::fork();
    if (pid_ == 0) {
        int out = ::open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        // Signals blocked by the test runner must not stay blocked in the program.
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
}

BackgroundProgram::~BackgroundProgram() {
    if (running()) {
        signal(SIGKILL);
        wait(5000);
    }
}

bool BackgroundProgram::running() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return true;
}

void BackgroundProgram::signal(int sig) {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, sig);
    }
}

int BackgroundProgram::wait(int timeout_ms) {
    eventually([this] { return !running(); }, timeout_ms);
    return reaped_ ? status_ : -1;
}
