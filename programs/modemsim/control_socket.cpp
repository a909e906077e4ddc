#include "modemsim/control_socket.h"

#include "modemsim/text_escape.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr size_t line_limit = 64 * 1024;

bool socket_address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int connect_to(const std::string& path) {
    sockaddr_un address;
    if (!socket_address(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::unique_ptr<ControlServer> ControlServer::listen(const std::string& path, std::string& error) {
    sockaddr_un address;
    if (!socket_address(path, address)) {
        error = "control socket path too long: " + path;
        return nullptr;
    }
    int live = connect_to(path);
    if (live >= 0) {
        ::close(live);
        error = "another simulator answers on " + path;
        return nullptr;
    }
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    return std::unique_ptr<ControlServer>(new ControlServer(fd, path));
}

ControlServer::~ControlServer() {
    for (Client& client : clients_) {
        ::close(client.fd);
    }
    ::close(fd_);
    ::unlink(path_.c_str());
}

void ControlServer::add_poll_fds(std::vector<pollfd>& fds) const {
    fds.push_back({fd_, POLLIN, 0});
    for (const Client& client : clients_) {
        short events = static_cast<short>((client.ended ? 0 : POLLIN) | (client.out.empty() ? 0 : POLLOUT));
        fds.push_back({client.fd, events, 0});
    }
}

void ControlServer::serve(const std::vector<pollfd>& fds,
                          const std::function<std::string(const std::string&)>& handle) {
    // The clients' entries follow the listener's in the order add_poll_fds wrote them; a client
    // accepted now is not among them yet.
    auto listener = std::find_if(fds.begin(), fds.end(), [this](const pollfd& p) { return p.fd == fd_; });
    if (listener == fds.end()) {
        return;
    }
    size_t known = clients_.size();
    for (size_t i = 0; i < known && listener + 1 + static_cast<long>(i) < fds.end(); ++i) {
        serve_client(clients_[i], (listener + 1 + static_cast<long>(i))->revents, handle);
    }
    std::erase_if(clients_, [](const Client& client) {
        if (client.fd >= 0 && !(client.ended && client.out.empty())) {
            return false;
        }
        if (client.fd >= 0) {
            ::close(client.fd);
        }
        return true;
    });
    if (listener->revents & POLLIN) {
        accept_client();
    }
}

void ControlServer::accept_client() {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
        clients_.push_back(Client{fd, {}, {}, false});
    }
}

void ControlServer::serve_client(Client& client, short revents,
                                 const std::function<std::string(const std::string&)>& handle) {
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[4096];
        ssize_t n = ::read(client.fd, buffer, sizeof buffer);
        if (n > 0 && client.in.size() < line_limit) {
            client.in.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            client.ended = true;
        }
    }
    size_t end;
    while ((end = client.in.find('\n')) != std::string::npos) {
        client.out += handle(client.in.substr(0, end));
        client.in.erase(0, end + 1);
    }
    // A last command need not end its line.
    if (client.ended && !client.in.empty()) {
        client.out += handle(client.in);
        client.in.clear();
    }
    if (!client.out.empty()) {
        ssize_t n = ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.out.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            client.out.clear(); // the client has gone: nobody to answer
            client.ended = true;
        }
    }
}

void ControlServer::flush() {
    for (Client& client : clients_) {
        if (!client.out.empty()) {
            ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
        }
    }
}

int run_control_client(const std::string& path, const std::vector<std::string>& words) {
    int fd = connect_to(path);
    if (fd < 0) {
        std::fprintf(stderr, "vmsms-modemsim: cannot reach %s: %s\n", path.c_str(), std::strerror(errno));
        return 2;
    }
    std::string answer;
    if (write_all(fd, join_control_words(words) + "\n")) {
        ::shutdown(fd, SHUT_WR);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            answer.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        }
    }
    ::close(fd);
    size_t last = answer.size() > 1 ? answer.rfind('\n', answer.size() - 2) : std::string::npos;
    std::string body = last == std::string::npos ? "" : answer.substr(0, last + 1);
    std::string status = answer.substr(last == std::string::npos ? 0 : last + 1);
    std::fwrite(body.data(), 1, body.size(), stdout);
    if (status == "OK\n") {
        return 0;
    }
    if (status.rfind("ERROR: ", 0) == 0) {
        std::fprintf(stderr, "vmsms-modemsim: %s", status.c_str() + 7);
        return 1;
    }
    std::fprintf(stderr, "vmsms-modemsim: no answer from %s\n", path.c_str());
    return 2;
}
