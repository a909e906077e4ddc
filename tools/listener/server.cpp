#include "server.h"

#include <httplib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    // Sent by the server thread to the waiting one when listening ends by itself.
    sigaddset(&set, SIGUSR1);
    return set;
}

bool readable_file(const std::string& path, const char* what) {
    struct stat info {};
    if (::access(path.c_str(), R_OK) != 0 || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "vmsms-listener: cannot read the %s %s: %s\n", what, path.c_str(),
                     errno ? std::strerror(errno) : "not a file");
        return false;
    }
    return true;
}

std::unique_ptr<httplib::Server> make_server(const ListenerOptions& options) {
    if (options.cert_file.empty()) {
        return std::make_unique<httplib::Server>();
    }
    if (!readable_file(options.cert_file, "certificate") || !readable_file(options.key_file, "key")) {
        return nullptr;
    }
    auto server = std::make_unique<httplib::SSLServer>(options.cert_file.c_str(), options.key_file.c_str());
    if (!server->is_valid()) {
        std::fprintf(stderr, "vmsms-listener: %s and %s are no PEM certificate and matching private key\n",
                     options.cert_file.c_str(), options.key_file.c_str());
        return nullptr;
    }
    return server;
}

} // namespace

void block_stop_signals() {
    sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that goes away in the middle of an answer must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
}

int serve(const ListenerOptions& options, ListenerContext& context) {
    std::unique_ptr<httplib::Server> server = make_server(options);
    if (!server) {
        return 1;
    }
    int threads = options.threads;
    server->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    server->set_payload_max_length(options.max_body);
    // The library's default also sets SO_REUSEPORT, which would let a second listener share the port
    // without a word; address reuse alone keeps restarts quick and a busy port an error.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Answers go out in more than one write; without this each would wait for the client's delayed ACK.
    server->set_tcp_nodelay(true);
    server->set_keep_alive_max_count(1000);
    server->set_read_timeout(10);
    server->set_write_timeout(10);
    add_routes(*server, context);

    errno = 0;
    if (!server->bind_to_port(options.host, options.port)) {
        int error = errno;
        std::fprintf(stderr, "vmsms-listener: cannot listen on %s:%d: %s\n", options.host.c_str(), options.port,
                     error ? std::strerror(error) : "not an address of this machine");
        return 1;
    }
    std::printf("vmsms-listener: listening on %s://%s:%d\n", options.cert_file.empty() ? "http" : "https",
                options.host.c_str(), options.port);
    std::fflush(stdout);

    pthread_t waiter = pthread_self();
    bool listened = true;
    std::thread worker([&] {
        listened = server->listen_after_bind();
        pthread_kill(waiter, SIGUSR1);
    });
    sigset_t set = stop_signals();
    int signal = 0;
    while (sigwait(&set, &signal) == 0 && signal != SIGTERM && signal != SIGINT && signal != SIGUSR1) {
    }
    // stop() closes the listening socket; listen_after_bind then waits for the requests in hand.
    server->stop();
    worker.join();
    if (signal == SIGUSR1 && !listened) {
        std::fprintf(stderr, "vmsms-listener: listening failed\n");
        return 1;
    }
    return 0;
}
