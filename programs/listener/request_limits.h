#pragma once

#include <chrono>
#include <cstdint>

// What one client may ask of the server: the bounds on a request's size and time, and on the
// connections of one address. A request over them is answered at once and its connection closed.
struct RequestLimits {
    std::uint32_t header_bytes = 16 * 1024; // the request line and headers together (431 over it)
    std::size_t header_lines = 100;         // header fields (431 over it)
    // The request line and headers must be in within this of the request's start: the connection for
    // the first request of a connection, the end of the previous answer for the next ones (408).
    std::chrono::seconds header_time{10};
    // A body must be in within body_time and one second per body_bytes_per_second of it (of
    // max_body when it comes in chunks of no declared length), counted from the end of its headers.
    std::chrono::seconds body_time{10};
    std::uint64_t body_bytes_per_second = 16 * 1024;
    std::uint64_t max_body = 1024 * 1024; // --max-body (413 over it, before it is read when declared)
    std::chrono::seconds write_time{10};  // an answer must be taken within this, or the connection goes
    // After the last answer of a connection the client may still send for this long (read and dropped),
    // so that closing does not reset the answer away.
    std::chrono::seconds linger_time{1};
    std::uint64_t linger_bytes = 64 * 1024;
    int requests_per_connection = 1000;
    int per_address = 16; // --per-address: open connections of one client address (503 over it)

    std::chrono::seconds body_deadline(std::uint64_t body_bytes) const {
        return body_time + std::chrono::seconds(body_bytes / body_bytes_per_second);
    }
};
