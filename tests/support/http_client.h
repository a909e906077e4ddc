#pragma once

#include <string>

// One HTTP/1.1 request to 127.0.0.1:`port` on a connection of its own ("Connection: close"), with a
// bearer token; enough of a client to read what the intake answers. Waits at most 20 s.
struct HttpAnswer {
    int status = 0;    // 0 when the exchange failed
    std::string whole; // the answer as it came: status line, headers and body
    std::string body;
};

HttpAnswer http_request(int port, const std::string& method, const std::string& path, const std::string& token,
                        const std::string& body = "");
