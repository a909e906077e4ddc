#include "platform/file_lock.h"

#include "platform/umask.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// An existing lock file of ours that anyone could lock is narrowed to what the spool allows.
void narrow_if_ours(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0777 & ~lock_file_mode()) != 0) {
        [[maybe_unused]] int rc = ::fchmod(fd, lock_file_mode());
    }
}

int open_lock_file(const std::string& path) {
    // Lock files are never removed, so the loop only runs again when one vanished between the two
    // opens, by someone's hand.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, lock_file_mode());
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0 && errno == EACCES) {
            // Made by another user of the group, who may not have given us write access.
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        }
        if (fd >= 0) {
            narrow_if_ours(fd);
            return fd;
        }
        if (errno != ENOENT) {
            return -1;
        }
    }
    return -1;
}

// Tries for the lock until `wait` has passed, looking again more and more rarely (at most every 50 ms).
int take_lock(int fd, std::chrono::milliseconds wait) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::chrono::milliseconds pause{1};
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return 0;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return errno;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return ETIMEDOUT;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds{50});
    }
}

} // namespace

unsigned lock_file_mode() {
    unsigned mode = 0666 & ~process_umask();
    if (!(mode & S_IWGRP)) {
        mode &= ~S_IRGRP;
    }
    if (!(mode & S_IWOTH)) {
        mode &= ~S_IROTH;
    }
    return mode;
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
    int fd = open_lock_file(path);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    if (int rc = take_lock(fd, wait); rc != 0) {
        error_ = rc;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}
