#include "console/support/pty_modem.h"

#include <climits>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A raw line on both sides, so the answer reaches the gateway byte for byte.
void make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

} // namespace

PtyModem::PtyModem(std::string answer) : answer_(std::move(answer)) {
    char name[PATH_MAX] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    make_raw(master_);
    make_raw(slave_);
    path_ = name;
    thread_ = std::thread([this] { serve(); });
}

PtyModem::~PtyModem() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

std::string PtyModem::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void PtyModem::serve() {
    std::string pending;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
            continue;
        }
        char buffer[256];
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        {
            std::lock_guard lock(mutex_);
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        // Each command the device test writes, in the order written; a silent modem answers none.
        static const std::pair<const char*, const char*> questions[] = {{"AT+CSQ\r", "\r\n+CSQ: 25,99\r\n\r\nOK\r\n"},
                                                                        {"AT+CREG?\r", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"}};
        for (bool answered = true; answered;) {
            answered = false;
            std::string reply;
            std::size_t at = pending.find("at\r");
            std::size_t length = 3;
            reply = answer_;
            for (const auto& [command, answer] : questions) {
                std::size_t found = pending.find(command);
                if (found != std::string::npos && found < at) {
                    at = found;
                    length = std::char_traits<char>::length(command);
                    reply = answer;
                }
            }
            if (at != std::string::npos) {
                answered = true;
                pending.erase(0, at + length);
                if (!answer_.empty()) {
                    [[maybe_unused]] ssize_t w = ::write(master_, reply.data(), reply.size());
                }
            }
        }
    }
}
