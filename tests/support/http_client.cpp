#include "support/http_client.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int connect_to(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    timeval wait{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

HttpAnswer http_request(int port, const std::string& method, const std::string& path, const std::string& token,
                        const std::string& body) {
    HttpAnswer answer;
    int fd = connect_to(port);
    if (fd < 0) {
        return answer;
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n" + body;
    bool written = write_all(fd, request);
    char buffer[4096];
    ssize_t n = 0;
    while (written && answer.whole.size() < (1u << 20) && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        answer.whole.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::size_t headers_end = answer.whole.find("\r\n\r\n");
    if (answer.whole.rfind("HTTP/1.1 ", 0) != 0 || headers_end == std::string::npos) {
        return answer;
    }
    answer.status = std::atoi(answer.whole.c_str() + 9);
    answer.body = answer.whole.substr(headers_end + 4);
    return answer;
}
