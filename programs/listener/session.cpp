#include "session.h"

#include "beast_exchange.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <type_traits>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

std::uint64_t ConnectionRegistry::add(std::weak_ptr<Connection> connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.emplace(next_id_, std::move(connection));
    return next_id_++;
}

void ConnectionRegistry::remove(std::uint64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(id);
}

void ConnectionRegistry::stop_all() {
    std::vector<std::shared_ptr<Connection>> open;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [id, connection] : open_) {
            if (auto alive = connection.lock()) {
                open.push_back(std::move(alive));
            }
        }
    }
    for (auto& connection : open) {
        connection->stop();
    }
}

namespace {

using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// What a closed or failed read may be, and what the client is told.
enum class ReadEnd { client_gone, too_large_headers, too_large_body, malformed };

ReadEnd classify_read_error(const beast::error_code& ec) {
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
        return ReadEnd::too_large_headers;
    }
    if (ec == http::error::body_limit) {
        return ReadEnd::too_large_body;
    }
    if (ec.category() == beast::error_code(http::error::bad_method).category() && ec != http::error::end_of_stream &&
        ec != http::error::partial_message) {
        return ReadEnd::malformed;
    }
    return ReadEnd::client_gone;
}

// How often a long poll asks its route again.
constexpr std::chrono::milliseconds poll_interval{100};

// One connection's requests, one after the other: headers within their deadline, the routes' check, a
// body within its own, the answer, and then the next request or the end. Every handler runs on the
// socket's strand; a slow client holds a connection, never a thread.
template <class Stream> class Session : public Connection, public std::enable_shared_from_this<Session<Stream>> {
public:
    static constexpr bool tls = std::is_same_v<Stream, TlsStream>;

    Session(Stream stream, SessionShared& shared, std::optional<ConnectionCount::Slot> slot, std::string remote)
        : stream_(std::move(stream)), shared_(shared), limits_(shared.limits), slot_(std::move(slot)),
          remote_(std::move(remote)), buffer_(limits_.header_bytes + 4096), deadline_(stream_.get_executor()),
          poll_timer_(stream_.get_executor()) {}

    ~Session() override {
        if (registered_) {
            shared_.registry.remove(registry_id_);
        }
    }

    void start() {
        net::dispatch(stream_.get_executor(), beast::bind_front_handler(&Session::begin, this->shared_from_this()));
    }

    void stop() override {
        net::post(stream_.get_executor(), [self = this->shared_from_this()] {
            if (self->phase_ == Phase::handshake || (self->phase_ == Phase::header && !self->request_begun())) {
                self->close_now();
            }
        });
    }

private:
    enum class Phase { handshake, header, body, answer, closing };

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

    void begin() {
        registry_id_ = shared_.registry.add(this->weak_from_this());
        registered_ = true;
        if (shared_.stopping) {
            close_now();
            return;
        }
        if (!slot_) {
            logged_ = false;
            send(error_response(503, "too many connections from this address"), false);
            return;
        }
        arm_deadline(limits_.header_time);
        if constexpr (tls) {
            phase_ = Phase::handshake;
            lowest().expires_after(limits_.header_time + backstop);
            stream_.async_handshake(net::ssl::stream_base::server,
                                    beast::bind_front_handler(&Session::on_handshake, this->shared_from_this()));
        } else {
            read_header();
        }
    }

    void on_handshake(beast::error_code ec) {
        if (ec) {
            close_now();
            return;
        }
        read_header();
    }

    // Headers of the next request; the first one's deadline runs from the connection.
    void read_header() {
        if (shared_.stopping) {
            close_now();
            return;
        }
        phase_ = Phase::header;
        timed_out_ = false;
        request_ = HttpRequest{};
        request_.remote = remote_;
        parser_.emplace();
        parser_->header_limit(limits_.header_bytes);
        parser_->body_limit(boost::none);
        if (!first_request_) {
            arm_deadline(limits_.header_time);
        }
        first_request_ = false;
        lowest().expires_after(limits_.header_time + backstop);
        http::async_read_header(stream_, buffer_, *parser_,
                                beast::bind_front_handler(&Session::on_header, this->shared_from_this()));
    }

    void on_header(beast::error_code ec, std::size_t) {
        if (timed_out_ || ec) {
            end_read(ec);
            return;
        }
        const BeastRequest& message = parser_->get();
        bool readable = read_request_head(message, request_);
        if (header_lines(message) > limits_.header_lines) {
            refuse(431, "the request's headers are too many or too large");
            return;
        }
        if (!readable) {
            refuse(400, "the request cannot be served");
            return;
        }
        std::optional<HttpResponse> refusal;
        try {
            refusal = shared_.handlers.admit(request_);
        } catch (const std::exception& error) {
            refusal = failed_request(error);
        }
        if (refusal) {
            send(std::move(*refusal), parser_->is_done() && parser_->keep_alive());
            return;
        }
        auto declared = parser_->content_length();
        if (declared && *declared > limits_.max_body) {
            refuse(413, "the request body is too large");
            return;
        }
        if (parser_->is_done()) {
            answer();
            return;
        }
        read_body(declared.value_or(limits_.max_body));
    }

    void read_body(std::uint64_t expected_bytes) {
        phase_ = Phase::body;
        parser_->body_limit(limits_.max_body);
        auto allowed = limits_.body_deadline(expected_bytes);
        arm_deadline(allowed);
        lowest().expires_after(allowed + backstop);
        if (parser_->get().version() >= 11 && beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
            interim_ = http::response<http::empty_body>(http::status::continue_, parser_->get().version());
            http::async_write(stream_, interim_,
                              beast::bind_front_handler(&Session::on_continue_sent, this->shared_from_this()));
            return;
        }
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Session::on_body, this->shared_from_this()));
    }

    void on_continue_sent(beast::error_code ec, std::size_t) {
        if (timed_out_ || ec) {
            end_read(ec);
            return;
        }
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&Session::on_body, this->shared_from_this()));
    }

    void on_body(beast::error_code ec, std::size_t) {
        if (timed_out_ || ec) {
            end_read(ec);
            return;
        }
        request_.body = std::move(parser_->get().body());
        answer();
    }

    // A read that ran out of time, met a request over the limits or a malformed one, or lost its client.
    void end_read(const beast::error_code& ec) {
        if (phase_ == Phase::closing) {
            return; // closed already, by a stop
        }
        if (phase_ == Phase::header && request_.method.empty()) {
            name_unread_request();
        }
        if (timed_out_) {
            if (request_begun()) {
                refuse(408, "the request took too long");
            } else {
                close_now();
            }
            return;
        }
        switch (classify_read_error(ec)) {
        case ReadEnd::too_large_headers:
            refuse(431, "the request's headers are too many or too large");
            break;
        case ReadEnd::too_large_body:
            refuse(413, "the request body is too large");
            break;
        case ReadEnd::malformed:
            refuse(400, "the request cannot be served");
            break;
        case ReadEnd::client_gone:
            close_now();
            break;
        }
    }

    // What the log names a request by that was not read whole: the request line once the parser has it
    // (it takes the line before the headers are in), else the first words of what came.
    void name_unread_request() {
        if (!parser_->get().target().empty()) {
            read_request_head(parser_->get(), request_);
            return;
        }
        auto bytes = buffer_.data();
        read_raw_request_line(std::string_view(static_cast<const char*>(bytes.data()), bytes.size()), request_);
    }

    void answer() {
        HttpResponse response;
        try {
            response = shared_.handlers.answer(request_);
        } catch (const std::exception& error) {
            response = failed_request(error);
        }
        if (response.again) {
            disarm_deadline();
            phase_ = Phase::answer;
            poll_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(response.wait_ms);
            pending_ = std::move(response);
            poll();
            return;
        }
        send(std::move(response), parser_->keep_alive());
    }

    // A long poll: its route is asked again each moment until it answers, its time is up or the server
    // stops.
    void poll() {
        bool last = shared_.stopping || std::chrono::steady_clock::now() >= poll_until_;
        std::optional<HttpResponse> ready;
        try {
            ready = pending_.again(last);
        } catch (const std::exception& error) {
            ready = failed_request(error);
        }
        if (!ready && last) {
            ready = error_response(500, "the request cannot be served");
        }
        if (ready) {
            pending_ = {};
            send(std::move(*ready), parser_->keep_alive());
            return;
        }
        poll_timer_.expires_after(poll_interval);
        poll_timer_.async_wait([self = this->shared_from_this()](beast::error_code) { self->poll(); });
    }

    // What a route that threw is answered: it is said on standard error, and the client is told 500.
    HttpResponse failed_request(const std::exception& error) {
        std::fprintf(stderr, "vmsms-listener: %s %s failed: %s\n", request_.method.c_str(), request_.path.c_str(),
                     error.what());
        return error_response(500, "the request cannot be served");
    }

    // Answers at once and closes: what is left of the request is not read.
    void refuse(int status, const std::string& error) { send(error_response(status, error), false); }

    void send(HttpResponse response, bool keep_alive) {
        disarm_deadline();
        phase_ = Phase::answer;
        status_ = response.status;
        ++served_;
        keep_alive = keep_alive && !shared_.stopping && served_ < limits_.requests_per_connection;
        unsigned version = parser_ && parser_->is_header_done() ? parser_->get().version() : 11;
        answer_ = to_beast_response(std::move(response), version, keep_alive, request_.method == "HEAD");
        lowest().expires_after(limits_.write_time);
        http::async_write(stream_, answer_,
                          beast::bind_front_handler(&Session::on_sent, this->shared_from_this(), keep_alive));
    }

    void on_sent(bool keep_alive, beast::error_code ec, std::size_t) {
        if (logged_) {
            shared_.handlers.log(request_, status_);
        }
        if (ec) {
            close_now();
        } else if (keep_alive) {
            read_header();
        } else {
            close_gracefully();
        }
    }

    // The client is told the connection ends; what it still sends is read and dropped for a moment, so
    // that closing does not reset the answer away before the client has read it.
    void close_gracefully() {
        phase_ = Phase::closing;
        lowest().expires_after(limits_.linger_time);
        if constexpr (tls) {
            stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) { self->close_now(); });
        } else {
            beast::error_code ignored;
            lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
            drain();
        }
    }

    void drain() {
        lowest().async_read_some(net::buffer(scratch_),
                                 [self = this->shared_from_this()](beast::error_code ec, std::size_t bytes) {
                                     self->drained_ += bytes;
                                     if (ec || self->drained_ >= self->limits_.linger_bytes) {
                                         self->close_now();
                                     } else {
                                         self->drain();
                                     }
                                 });
    }

    void close_now() {
        phase_ = Phase::closing;
        disarm_deadline();
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    // Whether any byte of the request being read has come.
    bool request_begun() const { return buffer_.size() > 0 || (parser_ && parser_->got_some()); }

    // The request's own deadline: when it passes, the read is cancelled and the client answered 408.
    // The stream's expiry, a little later, only closes a connection this one somehow missed.
    void arm_deadline(std::chrono::seconds allowed) {
        deadline_.expires_after(allowed);
        deadline_.async_wait(
            [weak = this->weak_from_this(), generation = ++deadline_generation_](beast::error_code ec) {
                auto self = weak.lock();
                if (!ec && self && generation == self->deadline_generation_) {
                    self->on_deadline();
                }
            });
    }

    void disarm_deadline() {
        ++deadline_generation_;
        deadline_.cancel();
    }

    void on_deadline() {
        if (phase_ == Phase::handshake || phase_ == Phase::header || phase_ == Phase::body) {
            timed_out_ = true;
            lowest().cancel();
        }
    }

    static constexpr std::chrono::seconds backstop{5};

    Stream stream_;
    SessionShared& shared_;
    const RequestLimits& limits_;
    std::optional<ConnectionCount::Slot> slot_;
    std::string remote_;
    beast::flat_buffer buffer_;
    net::steady_timer deadline_;
    net::steady_timer poll_timer_;
    HttpResponse pending_; // a long poll's answer to come
    std::chrono::steady_clock::time_point poll_until_;
    std::uint64_t deadline_generation_ = 0;
    std::uint64_t registry_id_ = 0;
    bool registered_ = false;
    Phase phase_ = Phase::header;
    bool timed_out_ = false;
    bool first_request_ = true; // its deadline runs from the connection
    bool logged_ = true;
    int served_ = 0;
    int status_ = 0;
    std::uint64_t drained_ = 0;
    std::optional<http::request_parser<http::string_body>> parser_;
    HttpRequest request_;
    http::response<http::empty_body> interim_;
    BeastResponse answer_;
    std::array<char, 4096> scratch_{};
};

} // namespace

void start_session(tcp::socket socket, SessionShared& shared) {
    beast::error_code ec;
    tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) {
        return; // gone already
    }
    std::optional<ConnectionCount::Slot> slot = shared.connections.take(remote.address().to_string());
    socket.set_option(tcp::no_delay(true), ec);
    if (shared.tls) {
        if (!slot) {
            return; // no answer a TLS client could read without a handshake
        }
        auto session = std::make_shared<Session<TlsStream>>(
            TlsStream(beast::tcp_stream(std::move(socket)), *shared.tls), shared, std::move(slot), remote_text(remote));
        session->start();
    } else {
        auto session = std::make_shared<Session<PlainStream>>(beast::tcp_stream(std::move(socket)), shared,
                                                              std::move(slot), remote_text(remote));
        session->start();
    }
}
