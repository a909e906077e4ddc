#pragma once

#include <functional>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

// The control interface's transport: a UNIX-domain stream socket taking one command per line. Each
// command is answered by its output lines, then "OK" or "ERROR: <why>" on a line of its own.
class ControlServer {
public:
    // Listens at `path`. A stale socket file there is replaced; a live one (another simulator answers
    // on it) is an error.
    static std::unique_ptr<ControlServer> listen(const std::string& path, std::string& error);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // The listening socket and every client, with the events each waits for.
    void add_poll_fds(std::vector<pollfd>& fds) const;

    // Serves whatever `fds` (as filled by add_poll_fds, then polled) reports ready. `handle` turns one
    // command line into its whole answer.
    void serve(const std::vector<pollfd>& fds, const std::function<std::string(const std::string&)>& handle);

    // Sends what is still queued, as far as the clients take it without waiting.
    void flush();

private:
    struct Client {
        int fd = -1;
        std::string in;
        std::string out;
        bool ended = false; // the client has sent all it will
    };

    ControlServer(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    void accept_client();
    void serve_client(Client& client, short revents, const std::function<std::string(const std::string&)>& handle);

    int fd_;
    std::string path_;
    std::vector<Client> clients_;
};

// The client side: sends the words as one command and prints the answer. Returns the exit status:
// 0 after OK, 1 after ERROR (the reason on standard error), 2 when the simulator cannot be reached.
int run_control_client(const std::string& path, const std::vector<std::string>& words);
