#include "support/background_program.h"

#include "support/run_program.h"

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
        exec_in_child(path, args, in, out, out);
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
