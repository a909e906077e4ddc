#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program started in the background in the current directory, its standard output and error going
// to a file; ended with SIGKILL when the object goes if it is still running.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& path, const std::vector<std::string>& args, const std::string& output_file);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool running();
    pid_t pid() const { return pid_; }
    void signal(int sig);
    // Waits up to `timeout_ms` for the program to end; its exit status, or -1 (still running or killed
    // by a signal).
    int wait(int timeout_ms);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
};

// Polls `condition` every 100 ms until it holds or `timeout_ms` has passed; whether it held.
template <typename Condition> bool eventually(Condition condition, int timeout_ms);

#include <chrono>
#include <thread>

template <typename Condition> bool eventually(Condition condition, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}
