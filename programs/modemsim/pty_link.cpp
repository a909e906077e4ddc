#include "modemsim/pty_link.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// More than a modem would ever hold for a host that does not read; beyond it, answers are lost as
// they would be on a line nobody listens to.
constexpr size_t output_limit = 1 << 20;

std::string system_error(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The far end of the line, raw, so that until the gateway sets the line up nothing echoes our
// answers back to us or rewrites them.
int open_device(const std::string& device) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

int watch_device(const std::string& device) {
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && ::inotify_add_watch(fd, device.c_str(), IN_CLOSE) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The entries of a directory, or none when it cannot be read (a process that just ended, one we may
// not look into).
std::vector<std::filesystem::path> entries(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        found.push_back(it->path());
    }
    return found;
}

// Whether a process other than this one has a descriptor of `device`. Processes we may not look
// into do not count: the gateway runs as the same user as its simulator.
bool held_by_others(const std::string& device) {
    const std::string self = std::to_string(::getpid());
    for (const auto& process : entries("/proc")) {
        const std::string pid = process.filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        for (const auto& fd : entries(process / "fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(fd, ec) == device) {
                return true;
            }
        }
    }
    return false;
}

bool link_device(const std::string& device, const std::string& link, std::string& error) {
    // Built aside and renamed over the old link, so the path never points nowhere.
    std::string temporary = link + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(device.c_str(), temporary.c_str()) != 0) {
        error = system_error("cannot link " + link);
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        error = system_error("cannot link " + link);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void close_all(std::initializer_list<int> fds) {
    for (int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

} // namespace

std::unique_ptr<PtyLink> PtyLink::create(const std::string& link_path, std::string& error) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[PATH_MAX] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        error = system_error("cannot create a pseudo-terminal");
        close_all({master});
        return nullptr;
    }
    int slave = open_device(name);
    int watch = slave < 0 ? -1 : watch_device(name);
    if (watch < 0 || ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        error = system_error(std::string("cannot set up ") + name);
        close_all({master, slave, watch});
        return nullptr;
    }
    if (!link_device(name, link_path, error)) {
        close_all({master, slave, watch});
        return nullptr;
    }
    return std::unique_ptr<PtyLink>(new PtyLink(master, slave, watch, name, link_path));
}

PtyLink::~PtyLink() {
    // Only our own link goes: another simulator may have taken the path over since.
    char target[PATH_MAX] = {};
    ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0 && device_ == std::string(target, static_cast<size_t>(n))) {
        ::unlink(link_.c_str());
    }
    close_all({watch_, slave_, master_});
}

PtyLink::Input PtyLink::read(std::string& data) {
    char buffer[4096];
    ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n > 0) {
        data.assign(buffer, static_cast<size_t>(n));
        return Input::Data;
    }
    return (n < 0 && (errno == EAGAIN || errno == EINTR)) ? Input::Nothing : Input::Broken;
}

bool PtyLink::port_released() {
    alignas(inotify_event) char buffer[4096];
    bool closed = false;
    while (::read(watch_, buffer, sizeof buffer) > 0) {
        closed = true; // only closes are watched
    }
    // The notices cannot be counted against the opens: the kernel merges identical ones that queue
    // up back to back. So ask who holds the device now.
    if (!closed || held_by_others(device_)) {
        return false;
    }
    // The exclusive flag belongs to the terminal, which our descriptor keeps alive: a gateway that
    // died without clearing it would otherwise bar the port for good.
    ::ioctl(slave_, TIOCNXCL);
    ::tcflush(slave_, TCIFLUSH);
    output_.clear();
    return true;
}

void PtyLink::send(std::string_view bytes) {
    if (output_.size() + bytes.size() <= output_limit) {
        output_ += bytes;
    }
    write_pending();
}

void PtyLink::write_pending() {
    while (!output_.empty()) {
        ssize_t n = ::write(master_, output_.data(), output_.size());
        if (n > 0) {
            output_.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // the line is full: the rest goes when poll says it has room
        }
    }
}
