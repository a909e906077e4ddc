#pragma once

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

// Ways to make the gateway's writes fail in a test, whoever runs it: root ignores permission bits, so
// neither works through them.

// Puts a folder holding a file where `path` was. No write can take its place: a folder cannot be opened
// as a file, a rename cannot put a file over it, and unlink does not remove it. False when it could not
// be made.
inline bool block_with_folder(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(path, error);
    return std::filesystem::create_directories(path + "/inside", error);
}

// A full disk, for as long as the object lives: no file of this process grows past `bytes`. Files can
// still be created empty and deleted. SIGXFSZ is ignored meanwhile, so a write past the limit fails with
// EFBIG instead of ending the process.
class DiskFull {
public:
    explicit DiskFull(rlim_t bytes = 0) {
        getrlimit(RLIMIT_FSIZE, &old_limit_);
        rlimit limit = old_limit_;
        limit.rlim_cur = bytes;
        set_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~DiskFull() {
        setrlimit(RLIMIT_FSIZE, &old_limit_);
        std::signal(SIGXFSZ, old_handler_);
    }
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

    // Whether the limit was set; a test without it would show nothing.
    bool active() const { return set_; }

private:
    rlimit old_limit_{};
    bool set_ = false;
    void (*old_handler_)(int) = SIG_DFL;
};
