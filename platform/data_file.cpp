#include "platform/data_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int read_flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Where an open descriptor leads, as the kernel names it.
std::string descriptor_target(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    ssize_t n = ::readlink(link, target, sizeof target);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool beneath_working_directory(int fd) {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) {
        return false;
    }
    std::string base = cwd;
    if (base != "/") {
        base += '/';
    }
    return descriptor_target(fd).rfind(base, 0) == 0;
}

// The kernel resolves the path and refuses any step out of the working directory. Where openat2 is
// missing (or filtered), the file is opened and where it led is checked afterwards.
int open_beneath(const std::string& path) {
    open_how how{};
    how.flags = read_flags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
        return static_cast<int>(fd);
    }
    int plain = ::open(path.c_str(), read_flags);
    if (plain >= 0 && !beneath_working_directory(plain)) {
        ::close(plain);
        errno = EXDEV;
        return -1;
    }
    return plain;
}

} // namespace

int open_data_file(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd = path.front() == '/' ? ::open(path.c_str(), read_flags) : open_beneath(path);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    // Reads of a regular file never wait; the flag only had to keep the open itself from blocking.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}
