#include "platform/file_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int open_lock_file(const std::string& path) {
    // Lock files are never removed, so the loop only runs again when one vanished between the two
    // opens, by someone's hand.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The umask would keep other users out of a lock they have to share. Should this fail,
            // they can still lock through a read-only descriptor, so it is no reason to give up.
            [[maybe_unused]] int rc = ::fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && errno == EACCES) {
            // Made by another user without write permission for us: flock needs no write access.
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
    }
    return -1;
}

} // namespace

FileLock::FileLock(const std::string& path) {
    int fd = open_lock_file(path);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        error_ = errno;
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
