#include "platform/termios_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct RateCode {
    std::uint32_t baud;
    speed_t code;
};

constexpr RateCode rate_codes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// The termios code of a line rate; B0 (which would hang the line up) for a rate termios cannot set.
speed_t rate_code(std::uint32_t baud) {
    for (const RateCode& r : rate_codes) {
        if (r.baud == baud) {
            return r.code;
        }
    }
    return B0;
}

// Opening without O_NONBLOCK would wait for carrier on a line without CLOCAL; the flag is dropped
// again once the descriptor is ours, because writes are meant to block.
int open_device(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The lock first: a refused opener must not touch the exclusive flag, which belongs to the terminal
// and so to the holder that set it.
bool take_exclusively(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    return ::ioctl(fd, TIOCEXCL) == 0;
}

int remaining_ms(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

std::unique_ptr<TermiosSerialPort> TermiosSerialPort::open(const std::string& path) {
    int fd = open_device(path);
    if (fd < 0) {
        return nullptr;
    }
    if (!take_exclusively(fd)) {
        ::close(fd);
        return nullptr;
    }
    int wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd < 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<TermiosSerialPort>(new TermiosSerialPort(fd, wake_fd));
}

bool TermiosSerialPort::configure(std::uint32_t baud) {
    speed_t code = rate_code(baud);
    if (fd_ < 0 || code == B0) {
        return false;
    }
    // Built from nothing rather than from the port's current settings, so whatever another program
    // left on the line does not leak through. HUPCL drops DTR and RTS when the port is closed: they
    // are meant to be up only while we hold it.
    termios tio{};
    tio.c_cflag = CS8 | CLOCAL | CREAD | HUPCL;
    if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0) {
        return false;
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return false;
    }
    // tcsetattr succeeds when any part of the request was taken; a driver that could not run at the
    // rate shows it only in what it reports back.
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0 || ::cfgetospeed(&applied) != code) {
        return false;
    }
    // Pseudo-terminals have no modem lines; the failure is harmless there.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &lines);
    return true;
}

std::size_t TermiosSerialPort::write(std::string_view bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            broken_ = true; // EIO after a hang-up, ENXIO or ENODEV when the device went away
            break;
        }
    }
    return done;
}

TermiosSerialPort::Ready TermiosSerialPort::wait_readable(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        pollfd& p = fds[0];
        int ready = ::poll(fds, 2, remaining_ms(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return Ready::TimedOut;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t wakes = 0;
            [[maybe_unused]] ssize_t drained = ::read(wake_fd_, &wakes, sizeof wakes);
            return Ready::Interrupted;
        }
        if ((p.revents & (POLLERR | POLLNVAL)) != 0 || ((p.revents & POLLHUP) != 0 && (p.revents & POLLIN) == 0)) {
            broken_ = true;
            return Ready::Broken;
        }
        return Ready::Data;
    }
}

bool TermiosSerialPort::read_once(char* buffer, std::size_t count, std::size_t& got) {
    for (;;) {
        ssize_t n = ::read(fd_, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // A hung-up line or a closed pseudo-terminal: poll reports it ready for good, so waiting on
        // would only spin.
        broken_ = true;
        return false;
    }
}

std::size_t TermiosSerialPort::read(char* buffer, std::size_t count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(read_timeout_ms(count));
    std::size_t got = 0;
    while (fd_ >= 0 && got < count) {
        if (wait_readable(deadline) != Ready::Data || !read_once(buffer, count, got)) {
            break;
        }
    }
    return got;
}

std::size_t TermiosSerialPort::read_some(char* buffer, std::size_t count, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    std::size_t got = 0;
    if (fd_ >= 0 && count > 0 && wait_readable(deadline) == Ready::Data) {
        read_once(buffer, count, got);
    }
    return got;
}

void TermiosSerialPort::interrupt() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wake_fd_, &one, sizeof one);
}

void TermiosSerialPort::prepare() {
    if (fd_ >= 0) {
        ::tcflush(fd_, TCIOFLUSH);
    }
}

void TermiosSerialPort::close() {
    if (fd_ < 0) {
        return;
    }
    // The exclusive flag belongs to the terminal, not to our descriptor: clear it, or the device stays
    // barred while anyone else still has it open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

TermiosSerialPort::~TermiosSerialPort() {
    close();
    ::close(wake_fd_);
}
