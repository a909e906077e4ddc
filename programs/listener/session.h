#pragma once

#include "connection_count.h"
#include "http_exchange.h"
#include "request_limits.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// What the server asks of the routes for each request: whether it may go on once its headers are in
// (nullopt) or is refused with an answer, the answer to it with its body, and a log line once the answer
// is out.
struct ExchangeHandlers {
    std::function<std::optional<HttpResponse>(HttpRequest&)> admit;
    std::function<HttpResponse(const HttpRequest&)> answer;
    std::function<void(const HttpRequest&, int status)> log;
};

// An open connection, as the server sees it when it stops.
class Connection {
public:
    virtual ~Connection() = default;
    // Ends the connection when it waits for a request that has not begun; one in hand is finished
    // first, and its answer closes the connection.
    virtual void stop() = 0;
};

// The open connections, to be told when the server stops.
class ConnectionRegistry {
public:
    std::uint64_t add(std::weak_ptr<Connection> connection);
    void remove(std::uint64_t id);
    void stop_all();

private:
    std::mutex mutex_;
    std::uint64_t next_id_ = 0;
    std::map<std::uint64_t, std::weak_ptr<Connection>> open_;
};

// What every connection of one server shares. Outlives them all.
struct SessionShared {
    RequestLimits limits;
    ExchangeHandlers handlers;
    ConnectionCount connections{limits.per_address};
    ConnectionRegistry registry;
    std::atomic<bool> stopping{false};
    boost::asio::ssl::context* tls = nullptr; // HTTPS when set

    SessionShared(const RequestLimits& request_limits, ExchangeHandlers exchange_handlers)
        : limits(request_limits), handlers(std::move(exchange_handlers)) {}
};

// Serves the requests of one accepted connection (its socket's executor a strand of its own) until it
// closes. When its address holds its share of connections already, the client is answered 503 at once,
// or over HTTPS the connection is closed.
void start_session(boost::asio::ip::tcp::socket socket, SessionShared& shared);
