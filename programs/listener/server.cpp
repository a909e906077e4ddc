#include "server.h"

#include "session.h"
#include "tls_context.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <pthread.h>
#include <thread>
#include <vector>

namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

namespace {

sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    // Sent by an I/O thread to the waiting one when serving ends by itself.
    sigaddset(&set, SIGUSR1);
    return set;
}

// Takes connections and hands each to a session of its own. Its handlers run on a strand of their own.
class Acceptor : public std::enable_shared_from_this<Acceptor> {
public:
    Acceptor(net::io_context& io, SessionShared& shared)
        : io_(io), acceptor_(net::make_strand(io)), backoff_(acceptor_.get_executor()), shared_(shared) {}

    // Binds and listens (address reuse only: a second listener on the port is an error); false after a
    // message on standard error.
    bool listen(const std::string& host, int port) {
        error_code ec;
        tcp::resolver resolver(io_);
        auto endpoints =
            resolver.resolve(host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, ec);
        if (ec || endpoints.empty()) {
            std::fprintf(stderr, "vmsms-listener: cannot listen on %s:%d: not an address of this machine\n",
                         host.c_str(), port);
            return false;
        }
        for (const auto& entry : endpoints) {
            if (listen_on(entry.endpoint(), ec)) {
                return true;
            }
        }
        std::fprintf(stderr, "vmsms-listener: cannot listen on %s:%d: %s\n", host.c_str(), port, ec.message().c_str());
        return false;
    }

    void start() { accept(); }

    // No connection is taken after this.
    void stop() {
        net::post(acceptor_.get_executor(), [self = shared_from_this()] {
            error_code ignored;
            self->acceptor_.close(ignored);
            self->backoff_.cancel();
        });
    }

private:
    bool listen_on(const tcp::endpoint& endpoint, error_code& ec) {
        error_code ignored;
        acceptor_.close(ignored);
        acceptor_.open(endpoint.protocol(), ec);
        if (!ec) {
            acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
        }
        if (!ec) {
            acceptor_.bind(endpoint, ec);
        }
        if (!ec) {
            acceptor_.listen(net::socket_base::max_listen_connections, ec);
        }
        return !ec;
    }

    void accept() {
        acceptor_.async_accept(net::make_strand(io_), [self = shared_from_this()](error_code ec, tcp::socket socket) {
            self->on_accept(ec, std::move(socket));
        });
    }

    void on_accept(error_code ec, tcp::socket socket) {
        if (!acceptor_.is_open()) {
            return;
        }
        if (ec == net::error::no_descriptors || ec == net::error::no_buffer_space || ec == net::error::no_memory ||
            ec.value() == ENFILE) {
            // Out of file descriptors or memory for now: the waiting connections stay queued meanwhile.
            backoff_.expires_after(std::chrono::milliseconds(100));
            backoff_.async_wait([self = shared_from_this()](error_code wait_ec) {
                if (!wait_ec) {
                    self->accept();
                }
            });
            return;
        }
        if (!ec) {
            start_session(std::move(socket), shared_);
        }
        accept();
    }

    net::io_context& io_;
    tcp::acceptor acceptor_;
    net::steady_timer backoff_;
    SessionShared& shared_;
};

ExchangeHandlers routes_of(ListenerContext& context) {
    return {[&context](HttpRequest& request) { return admit_request(context, request); },
            [](const HttpRequest& request) { return answer_request(request); },
            [&context](const HttpRequest& request, int status) { log_request(context, request, status); }};
}

// One of the threads running the I/O. A handler that throws costs its own connection only.
void run_io(net::io_context& io, const SessionShared& shared, pthread_t waiter) {
    for (;;) {
        try {
            io.run();
            break;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vmsms-listener: %s\n", error.what());
        }
    }
    if (!shared.stopping) {
        pthread_kill(waiter, SIGUSR1);
    }
}

} // namespace

void block_stop_signals() {
    sigset_t set = stop_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that goes away in the middle of an answer must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
}

int serve(const ListenerOptions& options, ListenerContext& context) {
    std::unique_ptr<net::ssl::context> tls;
    if (!options.cert_file.empty()) {
        tls = make_tls_context(options.cert_file, options.key_file);
        if (!tls) {
            return 1;
        }
    }
    RequestLimits limits;
    limits.max_body = options.max_body;
    limits.per_address = options.per_address;
    SessionShared shared(limits, routes_of(context));
    shared.tls = tls.get();

    net::io_context io(options.threads);
    auto acceptor = std::make_shared<Acceptor>(io, shared);
    if (!acceptor->listen(options.host, options.port)) {
        return 1;
    }
    std::printf("vmsms-listener: listening on %s://%s:%d\n", tls ? "https" : "http", options.host.c_str(),
                options.port);
    std::fflush(stdout);
    acceptor->start();

    pthread_t waiter = pthread_self();
    std::vector<std::thread> threads;
    for (int i = 0; i < options.threads; ++i) {
        threads.emplace_back(run_io, std::ref(io), std::cref(shared), waiter);
    }
    sigset_t set = stop_signals();
    int signal = 0;
    while (sigwait(&set, &signal) == 0 && signal != SIGTERM && signal != SIGINT && signal != SIGUSR1) {
    }
    // Connections waiting for a request end now; requests in hand are answered first (within their
    // deadlines), and their answers close their connections.
    shared.stopping = true;
    acceptor->stop();
    shared.registry.stop_all();
    for (auto& thread : threads) {
        thread.join();
    }
    if (signal == SIGUSR1) {
        std::fprintf(stderr, "vmsms-listener: serving ended by itself\n");
        return 1;
    }
    return 0;
}
